"""The network of the learned digit reader. digits/learned_model.cpp runs the same layers.

A crop prepared by prep.py (3 x 24 x W) goes through a strided convolution and three
depthwise-separable blocks that bring the height to 3 rows at half the width; a convolution
over those rows makes one feature column per two input columns, a depthwise-separable
convolution along the width lets each column see its neighbours, and a linear layer gives
11 scores per column: blank and the digits 0 to 9, decoded as a CTC sequence.
"""

import torch
from torch import nn

CLASSES = 11  # 0 = blank, 1 + d = digit d
C1, C2, C3, C4, FEAT = 24, 48, 64, 64, 80
SEQ_KERNEL = 5


class SepConv(nn.Module):
    """Depthwise k x k (no bias), pointwise 1 x 1, batch norm, ReLU."""

    def __init__(self, cin, cout, kernel=(3, 3)):
        super().__init__()
        pad = (kernel[0] // 2, kernel[1] // 2)
        self.dw = nn.Conv2d(cin, cin, kernel, padding=pad, groups=cin, bias=False)
        self.pw = nn.Conv2d(cin, cout, 1, bias=False)
        self.bn = nn.BatchNorm2d(cout)

    def forward(self, x):
        return torch.relu(self.bn(self.pw(self.dw(x))))


class DigitNet(nn.Module):
    def __init__(self):
        super().__init__()
        self.c1 = nn.Conv2d(3, C1, 3, stride=2, padding=1, bias=False)
        self.bn1 = nn.BatchNorm2d(C1)
        self.b2 = SepConv(C1, C2)
        self.b3 = SepConv(C2, C3)
        self.b4 = SepConv(C3, C4)
        self.head = nn.Conv2d(C4, FEAT, (3, 1), bias=False)
        self.bnh = nn.BatchNorm2d(FEAT)
        self.seq = SepConv(FEAT, FEAT, (1, SEQ_KERNEL))
        self.out = nn.Conv2d(FEAT, CLASSES, 1)
        self.pool = nn.MaxPool2d((2, 1))

    def forward(self, x):
        """x: N x 3 x 24 x W -> scores N x CLASSES x W/2 (before the softmax)."""
        x = torch.relu(self.bn1(self.c1(x)))  # 12 x W/2
        x = self.pool(self.b2(x))  # 6 x W/2
        x = self.pool(self.b3(x))  # 3 x W/2
        x = self.b4(x)
        x = torch.relu(self.bnh(self.head(x)))  # 1 x W/2
        x = x + self.seq(x)
        return self.out(x)[:, :, 0, :]

#include "dock/ostrelo_dock.h"

#include "common/qt/message_boxes.h"
#include "dock/frontend_api.h"
#include "dock/layout_fetch.h"

#include <obs.hpp>

#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

namespace ostrelo {

namespace {

constexpr int kRefreshIntervalMs = 1500;
constexpr const char *kTokenKey = "overlayToken";
// Set on a reply cut off for its size.
constexpr const char *kTooLargeProperty = "ostreloTooLarge";

const char *const kStyleSheet =
	"QWidget#OstreloDockRoot {background:#0b1716;color:#e9fff2;font-family:'Segoe UI';}"
	"QLabel {color:#c2d9d0;}"
	"QLabel#Heading {color:#72f4ad;font-size:21px;font-weight:700;}"
	"QLabel#Status {color:#e8f5ec;font-size:13px;font-weight:600;}"
	"QFrame#Panel {background:#122722;border:1px solid #285341;border-radius:10px;}"
	"QLineEdit,QPushButton,QComboBox {background:#17392d;color:#eafcf2;border:1px solid #3b795d;"
	"border-radius:8px;padding:9px;text-align:left;}"
	"QLineEdit:focus,QPushButton:hover,QComboBox:hover {border-color:#7df5ad;background:#1e4a36;}"
	"QPushButton#Action {background:#19875d;font-weight:bold;text-align:center;}"
	"QGroupBox#ComingSoon {border:1px solid #285341;border-radius:10px;margin-top:12px;padding:8px 10px "
	"10px;color:#c2d9d0;font-weight:600;}"
	"QGroupBox#ComingSoon::title {subcontrol-origin: margin;left:10px;padding:0 6px;color:#8eb8a4;}"
	// The scroll bar of a short dock, in the panel colours.
	"QScrollBar {background:#0b1716;border:none;width:10px;height:10px;}"
	"QScrollBar::handle {background:#285341;border-radius:5px;min-height:32px;min-width:32px;}"
	"QScrollBar::add-line,QScrollBar::sub-line {width:0;height:0;}"
	"QScrollBar::add-page,QScrollBar::sub-page {background:none;}";

struct ComingSoonCard {
	const char *title;
	const char *text;
};

const ComingSoonCard kComingSoon[] = {
	{"Vertical canvas",
	 "Independent vertical output needs a separate OBS-compatible encoder and canvas engine. You can still "
	 "install a 1080×1920 Ostrelo layout and set Settings → Video yourself."},
	{"Multistream", "Additional simultaneous outputs must be implemented and tested before use."},
	{"Unified chat & activity",
	 "Live multi-platform chat and events need authorised platform connections. Use Ostrelo Web for account "
	 "features."},
	{"Goals sync", "Goal and overlay configuration remains on Pellworth until native account sync is integrated."},
};

QSettings dockSettings()
{
	return QSettings(QStringLiteral("Pellworth"), QStringLiteral("OstreloOBS"));
}

QFrame *panel(QWidget *parent, QVBoxLayout *&layout)
{
	auto *frame = new QFrame(parent);
	frame->setObjectName(QStringLiteral("Panel"));
	layout = new QVBoxLayout(frame);
	return frame;
}

QPushButton *actionButton(const QString &text, QWidget *parent)
{
	auto *button = new QPushButton(text, parent);
	button->setObjectName(QStringLiteral("Action"));
	return button;
}

} // namespace

// The stream and the recording are started and stopped alike; only the texts differ.
const OstreloDock::OutputControl OstreloDock::kStream = {&FrontendApi::streamingActive,
							 &FrontendApi::startStreaming,
							 &FrontendApi::stopStreaming,
							 "Start stream",
							 "Stop stream",
							 "Stop stream?",
							 "Stop your active OBS stream?"};
const OstreloDock::OutputControl OstreloDock::kRecording = {&FrontendApi::recordingActive,
							    &FrontendApi::startRecording,
							    &FrontendApi::stopRecording,
							    "Start recording",
							    "Stop recording",
							    "Stop recording?",
							    "Stop the current OBS recording?"};

DockOptions DockOptions::defaults()
{
	DockOptions options;
	options.layoutEndpoint = defaultLayoutEndpoint();
	options.webControlRoom = webControlRoomUrl();
	options.chooseFile = [](QWidget *parent, const QString &caption, const QString &filter) {
		return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
	};
	options.openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
	options.obsFactory = libobsFactory();
	return options;
}

OstreloDock::OstreloDock(std::shared_ptr<FrontendApi> frontend, DockOptions options, QWidget *parent)
    : QWidget(parent), frontend_(std::move(frontend)), options_(std::move(options))
{
	network_ = new QNetworkAccessManager(this);
	setObjectName(QStringLiteral("OstreloDockRoot"));
	setMinimumWidth(315);
	setStyleSheet(QString::fromUtf8(kStyleSheet));
	buildUi();

	auto *timer = new QTimer(this);
	connect(timer, &QTimer::timeout, this, [this] { refreshStatus(); });
	timer->start(kRefreshIntervalMs);

	refreshStatus();
	fetchPackList();
}

void OstreloDock::buildUi()
{
	// The OBS window gives a dock what height it has to spare, often less than the content
	// needs: then the content scrolls, never squeezed below its size.
	auto *frame = new QVBoxLayout(this);
	frame->setContentsMargins(0, 0, 0, 0);
	auto *scroll = new QScrollArea(this);
	scroll->setObjectName(QStringLiteral("Scroll"));
	scroll->setFrameShape(QFrame::NoFrame);
	scroll->setWidgetResizable(true);
	frame->addWidget(scroll);
	auto *content = new QWidget;
	content->setObjectName(QStringLiteral("Content"));
	scroll->setWidget(content);
	// The root's background shows through both (the scroll area fills them by default).
	scroll->viewport()->setAutoFillBackground(false);
	content->setAutoFillBackground(false);

	auto *root = new QVBoxLayout(content);
	root->setContentsMargins(16, 16, 16, 16);
	root->setSpacing(12);

	auto *heading = new QLabel(QString::fromUtf8("◆ Ostrelo"), content);
	heading->setObjectName(QStringLiteral("Heading"));
	root->addWidget(heading);
	root->addWidget(new QLabel(QString::fromUtf8("Pellworth · Local OBS controls"), content));

	QVBoxLayout *statusLayout = nullptr;
	root->addWidget(panel(content, statusLayout));
	statusLabel_ = new QLabel(QStringLiteral("OBS status: checking..."));
	statusLabel_->setObjectName(QStringLiteral("Status"));
	statusLayout->addWidget(statusLabel_);
	auto *accountHint =
		new QLabel(QStringLiteral("Local OBS control. Your online account is managed on Pellworth."));
	accountHint->setWordWrap(true);
	statusLayout->addWidget(accountHint);

	QVBoxLayout *sceneLayout = nullptr;
	root->addWidget(panel(content, sceneLayout));
	sceneLayout->addWidget(new QLabel(QStringLiteral("Active scene")));
	sceneCombo_ = new QComboBox;
	sceneLayout->addWidget(sceneCombo_);
	auto *switchButton = actionButton(QStringLiteral("Switch to selected scene"), content);
	sceneLayout->addWidget(switchButton);

	addOutputRow(root, kStream);
	addOutputRow(root, kRecording);

	QVBoxLayout *installBox = nullptr;
	root->addWidget(panel(content, installBox));
	installBox->addWidget(new QLabel(QStringLiteral("Install layout")));
	auto *installHint = new QLabel(QStringLiteral("Pick a design, choose Landscape or Vertical, then Install. Or "
						      "load an exported Scene Collection JSON."));
	installHint->setWordWrap(true);
	installBox->addWidget(installHint);
	tokenEdit_ = new QLineEdit;
	tokenEdit_->setPlaceholderText(QStringLiteral("Overlay token or Browser Source URL"));
	tokenEdit_->setEchoMode(QLineEdit::PasswordEchoOnEdit);
	tokenEdit_->setText(dockSettings().value(QLatin1String(kTokenKey)).toString());
	installBox->addWidget(tokenEdit_);
	packCombo_ = new QComboBox;
	packCombo_->addItem(QStringLiteral("This overlay"), QString());
	packCombo_->addItem(QStringLiteral("Starter Layout"), QStringLiteral("__starter"));
	installBox->addWidget(packCombo_);
	orientCombo_ = new QComboBox;
	orientCombo_->addItem(QString::fromUtf8("Landscape  1920×1080"), QStringLiteral("landscape"));
	orientCombo_->addItem(QString::fromUtf8("Vertical  1080×1920"), QStringLiteral("vertical"));
	installBox->addWidget(orientCombo_);
	auto *installRow = new QHBoxLayout;
	auto *installButton = actionButton(QStringLiteral("Install layout"), content);
	auto *loadButton = new QPushButton(QStringLiteral("Load JSON file"), content);
	installRow->addWidget(installButton);
	installRow->addWidget(loadButton);
	installBox->addLayout(installRow);
	auto *canvasHint = new QLabel(QString::fromUtf8(
		"Then set Settings → Video to the same canvas. Placeholders are empty — pick the game, camera or "
		"device in OBS."));
	canvasHint->setWordWrap(true);
	installBox->addWidget(canvasHint);

	auto *webButton = actionButton(QString::fromUtf8("Open Ostrelo Web Control Room ↗"), content);
	root->addWidget(webButton);

	auto *comingSoon = new QGroupBox(QStringLiteral("Coming soon"), content);
	comingSoon->setObjectName(QStringLiteral("ComingSoon"));
	comingSoon->setCheckable(true);
	comingSoon->setChecked(false);
	auto *cards = new QVBoxLayout(comingSoon);
	for (const ComingSoonCard &card : kComingSoon) {
		auto *title = new QLabel(QStringLiteral("<b>%1</b> · Coming soon").arg(QString::fromUtf8(card.title)));
		title->setTextFormat(Qt::RichText);
		cards->addWidget(title);
		auto *text = new QLabel(QString::fromUtf8(card.text));
		text->setWordWrap(true);
		cards->addWidget(text);
	}
	root->addWidget(comingSoon);
	root->addStretch();

	connect(switchButton, &QPushButton::clicked, this, [this] { switchToSelectedScene(); });
	connect(tokenEdit_, &QLineEdit::editingFinished, this, [this] { saveToken(); });
	connect(installButton, &QPushButton::clicked, this, [this] { installLayout(); });
	connect(loadButton, &QPushButton::clicked, this, [this] { loadCollectionFile(); });
	connect(webButton, &QPushButton::clicked, this, [this] {
		if (options_.openUrl)
			options_.openUrl(options_.webControlRoom);
	});
	connect(comingSoon, &QGroupBox::toggled, this, [cards](bool checked) {
		for (int i = 0; i < cards->count(); ++i)
			if (QWidget *widget = cards->itemAt(i)->widget())
				widget->setVisible(checked);
	});
}

void OstreloDock::refreshStatus()
{
	if (!statusLabel_ || !sceneCombo_)
		return;

	QStringList marks;
	if (frontend_->streamingActive())
		marks.append(QString::fromUtf8("● Live"));
	if (frontend_->recordingActive())
		marks.append(QString::fromUtf8("● Recording"));
	statusLabel_->setText(marks.isEmpty() ? QString::fromUtf8("○ OBS is idle")
					      : marks.join(QString::fromUtf8("  ·  ")));

	const QString chosen = sceneCombo_->currentText();
	const QStringList names = frontend_->sceneNames();
	const QString current = frontend_->currentSceneName();

	bool same = sceneCombo_->count() == names.size();
	for (int i = 0; same && i < names.size(); ++i)
		same = sceneCombo_->itemText(i) == names[i];
	if (!same) {
		sceneCombo_->clear();
		sceneCombo_->addItems(names);
	}

	const QString target = chosen.isEmpty() ? current : chosen;
	const int index = sceneCombo_->findText(target, Qt::MatchExactly | Qt::MatchCaseSensitive);
	if (index >= 0 && index != sceneCombo_->currentIndex())
		sceneCombo_->setCurrentIndex(index);
}

void OstreloDock::switchToSelectedScene()
{
	const QString name = sceneCombo_ ? sceneCombo_->currentText() : QString();
	if (name.isEmpty())
		return;
	{
		OBSSourceAutoRelease source = obs_get_source_by_name(name.toUtf8().constData());
		if (!source) {
			showWarning(this, QStringLiteral("The OBS scene no longer exists."));
			return;
		}
		if (obs_source_get_type(source) == OBS_SOURCE_TYPE_SCENE)
			frontend_->setCurrentScene(source);
	}
	refreshStatus();
}

void OstreloDock::addOutputRow(QVBoxLayout *root, const OutputControl &output)
{
	auto *row = new QHBoxLayout;
	auto *start = actionButton(QString::fromUtf8(output.startText), root->parentWidget());
	auto *stop = new QPushButton(QString::fromUtf8(output.stopText), root->parentWidget());
	row->addWidget(start);
	row->addWidget(stop);
	root->addLayout(row);
	connect(start, &QPushButton::clicked, this, [this, &output] { startOutput(output); });
	connect(stop, &QPushButton::clicked, this, [this, &output] { stopOutput(output); });
}

void OstreloDock::startOutput(const OutputControl &output)
{
	if (!((*frontend_).*output.active)())
		((*frontend_).*output.start)();
	refreshStatus();
}

void OstreloDock::stopOutput(const OutputControl &output)
{
	if (((*frontend_).*output.active)() &&
	    askYesNo(this, QString::fromUtf8(output.question), QString::fromUtf8(output.detail)))
		((*frontend_).*output.stop)();
	refreshStatus();
}

void OstreloDock::saveToken()
{
	const QString token = extractOverlayToken(tokenEdit_->text());
	if (tokenHoldsControlCharacter(token))
		return;
	dockSettings().setValue(QLatin1String(kTokenKey), token);
	fetchPackList();
}

QNetworkReply *OstreloDock::get(const QUrl &url)
{
	QNetworkRequest request(url);
	request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(kLayoutUserAgent));
	QNetworkReply *reply = network_->get(request);
	// Cut a reply off as soon as it announces or brings more than any collection holds.
	connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
		if (received > kMaxCollectionBytes || total > kMaxCollectionBytes) {
			reply->setProperty(kTooLargeProperty, true);
			reply->abort();
		}
	});
	return reply;
}

void OstreloDock::fetchPackList()
{
	const QString token = extractOverlayToken(tokenEdit_ ? tokenEdit_->text() : QString());
	if (token.isEmpty() || tokenHoldsControlCharacter(token) || !packCombo_ || !network_)
		return;
	QNetworkReply *reply = get(packListUrl(options_.layoutEndpoint, token));
	connect(reply, &QNetworkReply::finished, this, [this, reply] { onPackListReply(reply); });
}

void OstreloDock::onPackListReply(QNetworkReply *reply)
{
	reply->deleteLater();
	if (reply->error() != QNetworkReply::NoError)
		return;
	const std::optional<QList<PackEntry>> packs = parsePackList(reply->readAll());
	if (!packs)
		return;
	const QString chosen = packCombo_->currentData().toString();
	packCombo_->clear();
	for (const PackEntry &pack : *packs)
		packCombo_->addItem(pack.name, pack.id);
	const int index = packCombo_->findData(chosen, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
	if (index >= 0)
		packCombo_->setCurrentIndex(index);
}

void OstreloDock::installLayout()
{
	const QString token = extractOverlayToken(tokenEdit_->text());
	if (token.isEmpty()) {
		showWarning(this,
			    QStringLiteral("Paste your Glasswing token (or a Browser Source URL that contains it)."));
		return;
	}
	if (tokenHoldsControlCharacter(token)) {
		showWarning(this, QStringLiteral("The overlay token holds a line break or another control "
						 "character. Paste it again."));
		return;
	}
	dockSettings().setValue(QLatin1String(kTokenKey), token);
	const QString orientation = orientCombo_ ? orientCombo_->currentData().toString() : QStringLiteral("landscape");
	const QString pack = packCombo_ ? packCombo_->currentData().toString() : QString();
	QNetworkReply *reply = get(collectionUrl(options_.layoutEndpoint, token, orientation, pack));
	connect(reply, &QNetworkReply::finished, this, [this, reply] { onLayoutReply(reply); });
}

void OstreloDock::onLayoutReply(QNetworkReply *reply)
{
	reply->deleteLater();
	if (reply->property(kTooLargeProperty).toBool()) {
		showWarning(this, QStringLiteral("Could not fetch the layout.\nThe reply is larger than 16 MiB."));
		return;
	}
	if (reply->error() != QNetworkReply::NoError) {
		showWarning(this, QStringLiteral("Could not fetch the layout.\n") + reply->errorString());
		return;
	}
	const QJsonObject object = parseJsonObject(reply->readAll());
	if (isSceneCollection(object))
		install(object);
	else
		showWarning(this, layoutReplyProblem(object));
}

void OstreloDock::install(const QJsonObject &collection)
{
	if (installCollection(this, collection, *frontend_, options_.obsFactory))
		refreshStatus();
}

void OstreloDock::loadCollectionFile()
{
	if (!options_.chooseFile)
		return;
	const QString path = options_.chooseFile(this, QStringLiteral("Load Ostrelo OBS collection"),
						 QStringLiteral("OBS Scene Collection (*.json)"));
	if (!path.isEmpty())
		loadCollectionFromPath(path);
}

void OstreloDock::loadCollectionFromPath(const QString &path)
{
	QFile file(path);
	if (!file.open(QIODevice::ReadOnly)) {
		showWarning(this, QStringLiteral("Could not read that file."));
		return;
	}
	// One byte past the limit is enough to know; a pipe or device has no size to ask first.
	const QByteArray body = file.read(kMaxCollectionBytes + 1);
	if (body.size() > kMaxCollectionBytes) {
		showWarning(this,
			    QStringLiteral("That file is larger than 16 MiB, too large for an OBS Scene Collection."));
		return;
	}
	const QJsonObject object = parseJsonObject(body);
	if (isSceneCollection(object))
		install(object);
	else
		showWarning(this, QStringLiteral("That file is not a valid OBS Scene Collection."));
}

} // namespace ostrelo

#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <string>

class QIODevice;

namespace ostrelo {

// A GET that only goes to the vendor host (or its "www." name) over HTTPS: the manifest and
// the installer come this way and no other. The body is appended to body and/or written to
// device as it arrives; more than maximum bytes is an error. Returns the HTTP status,
// whatever it is, or 0 with error set when the exchange failed.
int updateHttpsGet(const QUrl &url, QByteArray *body, QIODevice *device, qint64 maximum, QString *error);

// Extra root certificate (PEM file) the updater's requests trust besides the system's. Only
// tests set it, to reach their own loopback server; the product never calls this.
void setUpdateExtraCaFileForTests(const std::string &pemPath);

} // namespace ostrelo

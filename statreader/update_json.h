#pragma once

#include "statreader/update_fields.h"

#include <QJsonObject>
#include <QString>

namespace ostrelo {

// An update's fields as the live client takes them: plates as a double, every other value
// as an integer.
inline QJsonObject updateFieldsToJson(const UpdateFields &fields)
{
	QJsonObject o;
	for (const auto &[key, value] : fields) {
		if (value.isDouble)
			o.insert(QString::fromStdString(key), value.d);
		else
			o.insert(QString::fromStdString(key), qint64(value.i));
	}
	return o;
}

} // namespace ostrelo

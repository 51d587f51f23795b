// A scene collection as the layout installer reads it: any bytes through Qt's JSON parser,
// then the plan, the browser settings of every input and the success text. Every number the
// plan holds must be finite and every name free of control characters, whatever the file says,
// because they go straight to OBS; browser sizes and rates stay in the browser source's ranges.

#include "dock/collection_plan.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace ostrelo;

namespace {

void check(bool condition)
{
	if (!condition)
		std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size > (1 << 20))
		return 0;
	const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char *>(data), int(size)));
	const QJsonObject collection = doc.object();
	const CollectionPlan plan = planCollection(collection);

	const QJsonArray sources = collection.value(QLatin1String("sources")).toArray();
	check(plan.hasSources == !sources.isEmpty());
	check(plan.inputs.size() + plan.scenes.size() <= sources.size());

	// Names go to OBS as C strings: a NUL inside would cut them, so none may hold a control
	// character.
	const auto plainName = [](const QString &name) {
		return std::none_of(name.cbegin(), name.cend(),
				    [](QChar c) { return c.category() == QChar::Other_Control; });
	};
	for (const ScenePlan &scene : plan.scenes) {
		check(plainName(scene.name));
		for (const ItemPlan &item : scene.items) {
			check(std::isfinite(item.posX) && std::isfinite(item.posY));
			check(std::isfinite(item.scaleX) && std::isfinite(item.scaleY));
			check(std::isfinite(item.rotation));
		}
	}
	for (const InputRecord &input : plan.inputs) {
		check(!input.typeId.contains(QLatin1String("transition")) && input.typeId != QLatin1String("scene"));
		check(plainName(input.obsName));
		const BrowserSettings browser = readBrowserSettings(input.settings);
		check(browser.width >= 1 && browser.width <= 8192 && browser.height >= 1 && browser.height <= 8192);
		check(browser.fps >= 1 && browser.fps <= 60);
	}
	const QString first = plan.scenes.isEmpty() ? QString() : plan.scenes.first().name;
	check(installedMessage(first, collection).contains(first));
	return 0;
}

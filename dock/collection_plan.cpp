#include "dock/collection_plan.h"

#include <QJsonArray>
#include <QJsonValue>

#include <algorithm>
#include <cfloat>

namespace ostrelo {

namespace {

// The browser source's own property ranges: 1 to 8192 pixels a side, 1 to 60 frames a second.
constexpr int kBrowserMaxSide = 8192;
constexpr int kBrowserMaxFps = 60;

// A JSON number may lie far outside float; converting such a double is undefined, so
// clamp first. OBS itself clamps nothing here.
float toFloat(const QJsonValue &value, float fallback)
{
	if (!value.isDouble())
		return fallback;
	return float(std::clamp(value.toDouble(), double(-FLT_MAX), double(FLT_MAX)));
}

void readPair(const QJsonValue &value, float &x, float &y)
{
	const QJsonObject pair = value.toObject();
	x = toFloat(pair.value(QLatin1String("x")), x);
	y = toFloat(pair.value(QLatin1String("y")), y);
}

ItemPlan planItem(const QJsonObject &item)
{
	ItemPlan plan;
	plan.sourceName = item.value(QLatin1String("name")).toString();
	readPair(item.value(QLatin1String("pos")), plan.posX, plan.posY);
	readPair(item.value(QLatin1String("scale")), plan.scaleX, plan.scaleY);
	plan.cropLeft = item.value(QLatin1String("crop_left")).toInt(0);
	plan.cropTop = item.value(QLatin1String("crop_top")).toInt(0);
	plan.cropRight = item.value(QLatin1String("crop_right")).toInt(0);
	plan.cropBottom = item.value(QLatin1String("crop_bottom")).toInt(0);
	plan.rotation = toFloat(item.value(QLatin1String("rot")), 0.0f);
	plan.visible = item.value(QLatin1String("visible")).toBool(true);
	plan.locked = item.value(QLatin1String("locked")).toBool(false);
	return plan;
}

ScenePlan planScene(const QJsonObject &scene)
{
	ScenePlan plan;
	plan.name = obsNameOf(scene.value(QLatin1String("name")).toString());
	const QJsonArray items =
		scene.value(QLatin1String("settings")).toObject().value(QLatin1String("items")).toArray();
	plan.items.reserve(items.size());
	for (const QJsonValue &item : items)
		plan.items.append(planItem(item.toObject()));
	return plan;
}

} // namespace

CollectionPlan planCollection(const QJsonObject &collection)
{
	CollectionPlan plan;
	const QJsonArray sources = collection.value(QLatin1String("sources")).toArray();
	plan.hasSources = !sources.isEmpty();
	for (const QJsonValue &value : sources) {
		const QJsonObject source = value.toObject();
		const QString id = source.value(QLatin1String("id")).toString();
		if (id == QLatin1String("scene")) {
			plan.scenes.append(planScene(source));
		} else if (!id.contains(QLatin1String("transition"))) {
			const QString name = source.value(QLatin1String("name")).toString();
			plan.inputs.append(
				{name, obsNameOf(name), id, source.value(QLatin1String("settings")).toObject()});
		}
	}
	return plan;
}

QString obsNameOf(const QString &wanted)
{
	const auto control = std::find_if(wanted.cbegin(), wanted.cend(),
					  [](QChar c) { return c.category() == QChar::Other_Control; });
	return wanted.left(control - wanted.cbegin());
}

BrowserSettings readBrowserSettings(const QJsonObject &settings)
{
	BrowserSettings browser;
	browser.url = settings.value(QLatin1String("url")).toString();
	// Integers only: a fraction, a string or a number outside 32 bits takes the default. What
	// is left is held to the ranges the browser source itself offers, so a file cannot ask it
	// for a page of a billion pixels.
	browser.width = std::clamp(settings.value(QLatin1String("width")).toInt(800), 1, kBrowserMaxSide);
	browser.height = std::clamp(settings.value(QLatin1String("height")).toInt(600), 1, kBrowserMaxSide);
	browser.fps = std::clamp(settings.value(QLatin1String("fps")).toInt(30), 1, kBrowserMaxFps);
	browser.fpsCustom = settings.value(QLatin1String("fps_custom")).toBool(true);
	browser.css = settings.value(QLatin1String("css")).toString();
	browser.shutdown = settings.value(QLatin1String("shutdown")).toBool(true);
	browser.restartWhenActive = settings.value(QLatin1String("restart_when_active")).toBool(false);
	browser.rerouteAudio = settings.value(QLatin1String("reroute_audio")).toBool(false);
	return browser;
}

QString installedMessage(const QString &firstScene, const QJsonObject &collection)
{
	const QString canvas =
		collection.value(QLatin1String("ostrelo")).toObject().value(QLatin1String("canvas")).toString();
	QString note;
	if (!canvas.isEmpty()) {
		QString shown = canvas;
		shown.replace(QLatin1Char('x'), QChar(0x00D7));
		note = QStringLiteral("Set Settings → Video to ") + shown +
		       QStringLiteral(". A collection cannot set the canvas size.");
	} else {
		note = QStringLiteral("Set Settings → Video to 1920×1080 or 1080×1920 to match the design.");
	}
	return QStringLiteral("Installed “%1”. Placeholder captures are empty — pick the game, camera or device in "
			      "each source.\n\n%2")
		.arg(firstScene, note);
}

} // namespace ostrelo

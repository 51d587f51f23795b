#include "dock/layout_installer.h"

#include "common/qt/message_boxes.h"
#include "dock/collection_plan.h"
#include "dock/frontend_api.h"

#include <obs.hpp>

#include <QHash>

namespace ostrelo {

namespace {

bool sourceNameTaken(const QString &name)
{
	OBSSourceAutoRelease existing = obs_get_source_by_name(name.toUtf8().constData());
	return existing.Get() != nullptr;
}

// The file's names mapped to the sources created for them; one reference per entry, all
// given back when the installation ends, however it ends.
class SourceMap {
public:
	SourceMap() = default;
	SourceMap(const SourceMap &) = delete;
	SourceMap &operator=(const SourceMap &) = delete;
	~SourceMap() { clear(); }

	void put(const QString &fileName, obs_source_t *source)
	{
		drop(fileName);
		sources_.insert(fileName, source);
	}

	// Gives back the installer's reference of an entry, if there is one.
	void drop(const QString &fileName)
	{
		if (obs_source_t *earlier = sources_.take(fileName))
			obs_source_release(earlier);
	}

	obs_source_t *find(const QString &fileName) const { return sources_.value(fileName, nullptr); }

	void clear()
	{
		for (obs_source_t *source : std::as_const(sources_))
			obs_source_release(source);
		sources_.clear();
	}

private:
	QHash<QString, obs_source_t *> sources_;
};

void applyItem(obs_sceneitem_t *item, const ItemPlan &plan)
{
	const vec2 pos = {{{plan.posX, plan.posY}}};
	obs_sceneitem_set_pos(item, &pos);
	const vec2 scale = {{{plan.scaleX, plan.scaleY}}};
	obs_sceneitem_set_scale(item, &scale);
	const obs_sceneitem_crop crop = {plan.cropLeft, plan.cropTop, plan.cropRight, plan.cropBottom};
	obs_sceneitem_set_crop(item, &crop);
	obs_sceneitem_set_rot(item, plan.rotation);
	obs_sceneitem_set_visible(item, plan.visible);
	obs_sceneitem_set_locked(item, plan.locked);
}

void makeCurrentScene(const QString &name, FrontendApi &frontend)
{
	OBSSourceAutoRelease scene = obs_get_source_by_name(name.toUtf8().constData());
	if (scene && obs_source_get_type(scene) == OBS_SOURCE_TYPE_SCENE)
		frontend.setCurrentScene(scene);
}

} // namespace

ObsFactory libobsFactory()
{
	return {[](const char *id, const char *name, obs_data_t *settings) {
			return obs_source_create(id, name, settings, nullptr);
		},
		[](const char *name) { return obs_scene_create(name); }};
}

QString uniqueSourceName(const QString &wanted)
{
	const QString base = wanted.isEmpty() ? QStringLiteral("Source") : wanted;
	QString candidate = base;
	for (int counter = 2; sourceNameTaken(candidate); ++counter)
		candidate = base + QLatin1Char(' ') + QString::number(counter);
	return candidate;
}

obs_data_t *browserSourceSettings(const QString &typeId, const QJsonObject &settings)
{
	obs_data_t *data = obs_data_create();
	if (typeId != QLatin1String(kBrowserSourceId))
		return data;
	const BrowserSettings browser = readBrowserSettings(settings);
	obs_data_set_string(data, "url", browser.url.toUtf8().constData());
	obs_data_set_int(data, "width", browser.width);
	obs_data_set_int(data, "height", browser.height);
	obs_data_set_int(data, "fps", browser.fps);
	obs_data_set_bool(data, "fps_custom", browser.fpsCustom);
	if (!browser.css.isEmpty())
		obs_data_set_string(data, "css", browser.css.toUtf8().constData());
	obs_data_set_bool(data, "shutdown", browser.shutdown);
	obs_data_set_bool(data, "restart_when_active", browser.restartWhenActive);
	obs_data_set_bool(data, "reroute_audio", browser.rerouteAudio);
	return data;
}

QString buildCollection(const QJsonObject &collection, QString &error, FrontendApi &frontend, const ObsFactory &factory)
{
	const CollectionPlan plan = planCollection(collection);
	if (!plan.hasSources) {
		error = QStringLiteral("The file has no OBS sources.");
		return {};
	}
	if (plan.scenes.isEmpty()) {
		error = QStringLiteral("The collection has no scenes.");
		return {};
	}

	SourceMap sources;
	for (const InputRecord &input : plan.inputs) {
		// A later record of the same name takes the entry over. Its predecessor would be
		// shown by no item, so let it go first: it leaves OBS and frees its name.
		sources.drop(input.name);
		const QByteArray obsName = uniqueSourceName(input.name).toUtf8();
		OBSDataAutoRelease settings = browserSourceSettings(input.typeId, input.settings);
		obs_source_t *source =
			factory.createSource(input.typeId.toUtf8().constData(), obsName.constData(), settings);
		if (!source) {
			error = QStringLiteral("OBS could not create source: ") + input.name;
			return {};
		}
		sources.put(input.name, source);
	}

	QString firstScene;
	for (const ScenePlan &scenePlan : plan.scenes) {
		const QString obsName = uniqueSourceName(scenePlan.name);
		if (firstScene.isEmpty())
			firstScene = obsName;
		OBSSceneAutoRelease scene = factory.createScene(obsName.toUtf8().constData());
		if (!scene) {
			error = QStringLiteral("OBS could not create scene: ") + obsName;
			return {};
		}
		for (const ItemPlan &itemPlan : scenePlan.items) {
			obs_source_t *source = sources.find(itemPlan.sourceName);
			if (!source)
				continue;
			if (obs_sceneitem_t *item = obs_scene_add(scene, source))
				applyItem(item, itemPlan);
		}
	}
	// The scene items keep what they show.
	sources.clear();

	makeCurrentScene(firstScene, frontend);
	return firstScene;
}

bool installCollection(QWidget *parent, const QJsonObject &collection, FrontendApi &frontend, const ObsFactory &factory)
{
	QString error;
	const QString firstScene = buildCollection(collection, error, frontend, factory);
	if (firstScene.isEmpty()) {
		showWarning(parent, error.isEmpty() ? QStringLiteral("Install failed.") : error);
		return false;
	}
	showInformation(parent, installedMessage(firstScene, collection));
	return true;
}

} // namespace ostrelo

#include "dock/layout_installer.h"

#include "common/qt/message_boxes.h"
#include "dock/collection_plan.h"
#include "dock/frontend_api.h"

#include <obs.hpp>

#include <QHash>

#include <algorithm>
#include <functional>

namespace ostrelo {

namespace {

// Past this many numbers for one name the installation gives up instead of holding the
// user-interface thread.
constexpr int kMaxNameNumber = 10000;

// Free OBS names for one installation, as the exact bytes OBS is given. It remembers the last
// number handed out for each name, so a file with a thousand equal names costs a thousand
// look-ups, not half a million.
class NameAllocator {
public:
	explicit NameAllocator(std::function<bool(const char *)> taken) : taken_(std::move(taken)) {}

	// A name of this installation left OBS: its number may be handed out again.
	void release(const QByteArray &name)
	{
		const int space = name.lastIndexOf(' ');
		bool isNumber = false;
		const int number = name.mid(space + 1).toInt(&isNumber);
		const auto next = space > 0 && isNumber ? next_.find(name.left(space)) : next_.end();
		if (next != next_.end() && number >= 2 && number < *next)
			*next = number;
	}

	// Empty when no free name was found.
	QByteArray take(const QString &wanted)
	{
		const QString cut = obsNameOf(wanted);
		const QByteArray base = cut.isEmpty() ? QByteArrayLiteral("Source") : cut.toUtf8();
		if (!taken_(base.constData()))
			return base;
		int &next = next_[base];
		for (int number = std::max(next, 2); number <= kMaxNameNumber; ++number) {
			const QByteArray candidate = base + ' ' + QByteArray::number(number);
			if (!taken_(candidate.constData())) {
				next = number + 1;
				return candidate;
			}
		}
		next = kMaxNameNumber + 1;
		return {};
	}

private:
	std::function<bool(const char *)> taken_;
	QHash<QByteArray, int> next_;
};

bool libobsNameTaken(const char *name)
{
	OBSSourceAutoRelease existing = obs_get_source_by_name(name);
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

	// Gives back the installer's reference of an entry, if there is one, and says which OBS
	// name that was.
	QByteArray drop(const QString &fileName)
	{
		obs_source_t *earlier = sources_.take(fileName);
		if (!earlier)
			return {};
		const QByteArray name = obs_source_get_name(earlier);
		obs_source_release(earlier);
		return name;
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

void makeCurrentScene(const QByteArray &name, FrontendApi &frontend)
{
	OBSSourceAutoRelease scene = obs_get_source_by_name(name.constData());
	if (scene && obs_source_get_type(scene) == OBS_SOURCE_TYPE_SCENE)
		frontend.setCurrentScene(scene);
}

} // namespace

ObsFactory libobsFactory()
{
	return {[](const char *id, const char *name, obs_data_t *settings) {
			return obs_source_create(id, name, settings, nullptr);
		},
		[](const char *name) { return obs_scene_create(name); }, libobsNameTaken};
}

QString uniqueSourceName(const QString &wanted)
{
	return QString::fromUtf8(NameAllocator(libobsNameTaken).take(wanted));
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

	NameAllocator names(factory.nameTaken);
	SourceMap sources;
	for (const InputRecord &input : plan.inputs) {
		// A later record of the same name takes the entry over. Its predecessor would be
		// shown by no item, so let it go first: it leaves OBS and frees its name.
		names.release(sources.drop(input.name));
		const QByteArray obsName = names.take(input.obsName);
		OBSDataAutoRelease settings = browserSourceSettings(input.typeId, input.settings);
		obs_source_t *source = obsName.isEmpty() ? nullptr
							 : factory.createSource(input.typeId.toUtf8().constData(),
										obsName.constData(), settings);
		if (!source) {
			error = QStringLiteral("OBS could not create source: ") + input.name;
			return {};
		}
		sources.put(input.name, source);
	}

	QByteArray firstScene;
	for (const ScenePlan &scenePlan : plan.scenes) {
		const QByteArray obsName = names.take(scenePlan.name);
		if (firstScene.isEmpty())
			firstScene = obsName;
		OBSSceneAutoRelease scene = obsName.isEmpty() ? nullptr : factory.createScene(obsName.constData());
		if (!scene) {
			error = QStringLiteral("OBS could not create scene: ") +
				(obsName.isEmpty() ? scenePlan.name : QString::fromUtf8(obsName));
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
	return QString::fromUtf8(firstScene);
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

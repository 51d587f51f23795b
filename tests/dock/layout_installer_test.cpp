// The installer in real libobs: what a collection leaves in OBS, and what it must not.
// Also the module's dock steps as the headless session (no OBS window) sees them.

#include "common/qt/message_boxes.h"
#include "dock/layout_installer.h"
#include "tests/dock/fake_frontend.h"
#include "tests/support/log_capture.h"
#include "tests/support/obs_harness.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstring>
#include <dlfcn.h>

using namespace ostrelo;

namespace {

// In place before the harness loads the module, so its load lines are kept.
test::LogCapture g_log;

QJsonObject json(const char *text)
{
	return QJsonDocument::fromJson(QByteArray(text)).object();
}

OBSSourceAutoRelease byName(const char *name)
{
	return obs_get_source_by_name(name);
}

struct ItemState {
	std::string source;
	vec2 pos, scale;
	obs_sceneitem_crop crop;
	float rot;
	bool visible, locked;
};

std::vector<ItemState> itemsOf(const char *sceneName)
{
	std::vector<ItemState> items;
	OBSSourceAutoRelease source = byName(sceneName);
	obs_scene_t *scene = obs_scene_from_source(source);
	if (!scene)
		return items;
	obs_scene_enum_items(
		scene,
		[](obs_scene_t *, obs_sceneitem_t *item, void *param) {
			ItemState s{obs_source_get_name(obs_sceneitem_get_source(item)), {}, {}, {}, 0, false, false};
			obs_sceneitem_get_pos(item, &s.pos);
			obs_sceneitem_get_scale(item, &s.scale);
			obs_sceneitem_get_crop(item, &s.crop);
			s.rot = obs_sceneitem_get_rot(item);
			s.visible = obs_sceneitem_visible(item);
			s.locked = obs_sceneitem_locked(item);
			static_cast<std::vector<ItemState> *>(param)->push_back(s);
			return true;
		},
		&items);
	return items;
}

class Installer : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(test::obsReady());
		frontend.holdCreatedScenes();
		signal_handler_connect(obs_get_signal_handler(), "source_create", &Installer::onCreate, this);
	}

	void TearDown() override
	{
		signal_handler_disconnect(obs_get_signal_handler(), "source_create", &Installer::onCreate, this);
		kept.clear();
		frontend.stopHoldingScenes();
		// With the scenes gone nothing else may hold what the installer made.
		for (size_t i = 0; i < created.size(); ++i)
			EXPECT_TRUE(gone(i)) << created[i].first << " still has a reference";
	}

	static void onCreate(void *data, calldata_t *params)
	{
		auto *source = static_cast<obs_source_t *>(calldata_ptr(params, "source"));
		static_cast<Installer *>(data)->created.emplace_back(
			obs_source_get_name(source), OBSWeakSourceAutoRelease(obs_source_get_weak_source(source)));
	}

	bool alive(size_t index)
	{
		OBSSourceAutoRelease source = obs_weak_source_get_source(created.at(index).second);
		return source.Get() != nullptr;
	}

	// libobs tears scenes down on a task thread, and its graphics thread holds sources for
	// the length of a tick: give both a moment before calling a reference leaked.
	bool gone(size_t index)
	{
		return test::waitFor([&] { return !alive(index); }, std::chrono::seconds(2));
	}

	QStringList aliveNames()
	{
		QStringList names;
		for (size_t i = 0; i < created.size(); ++i)
			if (alive(i))
				names.append(QString::fromStdString(created[i].first));
		return names;
	}

	std::vector<std::string> createdNames() const
	{
		std::vector<std::string> names;
		for (const auto &[name, weak] : created)
			names.push_back(name);
		return names;
	}

	// A source of the test's own, named like one the collection brings.
	void keep(const char *id, const char *name)
	{
		kept.emplace_back(obs_source_create(id, name, nullptr, nullptr));
	}

	test::FakeFrontend frontend;
	std::vector<std::pair<std::string, OBSWeakSourceAutoRelease>> created;
	std::vector<OBSSourceAutoRelease> kept;
};

} // namespace

TEST_F(Installer, BuildsScenesSourcesAndItems)
{
	keep("color_source_v3", "Overlay");
	obs_scene_t *existing = obs_scene_create("Main"); // the fake front end now holds it
	obs_scene_release(existing);
	created.clear();

	QString error;
	const QString first = buildCollection(json(R"({"scene_order":[],"sources":[
		{"id":"color_source_v3","name":"Backdrop","settings":{"url":"ignored"}},
		{"id":"browser_source","name":"Overlay","settings":{"url":"https://o.example/x","width":"wide","fps":60,
		 "css":"","shutdown":false}},
		{"id":"fade_transition","name":"Fade"},
		{"id":"","name":""},
		{"id":"scene","name":"Main","settings":{"items":[
			{"name":"Backdrop"},
			{"name":"Overlay","pos":{"x":100,"y":50},"scale":{"x":0.5,"y":0.25},"crop_left":1,"crop_top":2,
			 "crop_right":3,"crop_bottom":4,"rot":90,"visible":false,"locked":true},
			{"name":"Fade"},{"name":"Second"},{"name":"Nobody"}]}},
		{"id":"scene","name":"Second","settings":{"items":[{"name":""}]}}]})"),
					      error, frontend);
	EXPECT_EQ(first, "Main 2");
	EXPECT_TRUE(error.isEmpty());
	EXPECT_EQ(frontend.madeCurrent, QStringList{"Main 2"});
	EXPECT_EQ(byName("Fade").Get(), nullptr);

	const auto main = itemsOf("Main 2");
	ASSERT_EQ(main.size(), 2u);
	EXPECT_EQ(main[0].source, "Backdrop");
	EXPECT_EQ(std::make_tuple(main[0].pos.x, main[0].pos.y, main[0].scale.x, main[0].scale.y, main[0].rot),
		  std::make_tuple(0.0f, 0.0f, 1.0f, 1.0f, 0.0f));
	EXPECT_TRUE(main[0].visible);
	EXPECT_FALSE(main[0].locked);
	const ItemState &overlay = main[1];
	EXPECT_EQ(overlay.source, "Overlay 2");
	EXPECT_EQ(std::make_tuple(overlay.pos.x, overlay.pos.y, overlay.scale.x, overlay.scale.y, overlay.rot),
		  std::make_tuple(100.0f, 50.0f, 0.5f, 0.25f, 90.0f));
	EXPECT_EQ(std::make_tuple(overlay.crop.left, overlay.crop.top, overlay.crop.right, overlay.crop.bottom),
		  std::make_tuple(1, 2, 3, 4));
	EXPECT_FALSE(overlay.visible);
	EXPECT_TRUE(overlay.locked);
	const auto second = itemsOf("Second");
	ASSERT_EQ(second.size(), 1u);
	EXPECT_EQ(second[0].source, "Source");

	OBSSourceAutoRelease browser = byName("Overlay 2");
	OBSDataAutoRelease settings = obs_source_get_settings(browser);
	EXPECT_STREQ(obs_source_get_id(browser), "browser_source");
	EXPECT_STREQ(obs_data_get_string(settings, "url"), "https://o.example/x");
	EXPECT_EQ(obs_data_get_int(settings, "width"), 800);
	EXPECT_EQ(obs_data_get_int(settings, "height"), 600);
	EXPECT_EQ(obs_data_get_int(settings, "fps"), 60);
	EXPECT_TRUE(obs_data_get_bool(settings, "fps_custom"));
	EXPECT_FALSE(obs_data_has_user_value(settings, "css"));
	EXPECT_FALSE(obs_data_get_bool(settings, "shutdown"));
	EXPECT_TRUE(obs_data_has_user_value(settings, "restart_when_active"));
	OBSSourceAutoRelease backdrop = byName("Backdrop");
	OBSDataAutoRelease backdropSettings = obs_source_get_settings(backdrop);
	EXPECT_FALSE(obs_data_has_user_value(backdropSettings, "url"));
}

TEST_F(Installer, NamelessSourcesCountUpFromSource)
{
	keep("color_source_v3", "Source");
	keep("color_source_v3", "Source 2");
	QString error;
	buildCollection(json(R"({"sources":[{"id":"color_source_v3"},{"id":"color_source_v3","name":""},
		{"id":"scene","name":"Nameless","settings":{"items":[{"name":""}]}}]})"),
			error, frontend);
	// Both records are named "" in the file: the later one is the one items show.
	const auto items = itemsOf("Nameless");
	ASSERT_EQ(items.size(), 1u);
	EXPECT_EQ(items[0].source, "Source 3");
}

TEST_F(Installer, LaterRecordOfTheSameNameReplacesTheEarlier)
{
	QString error;
	buildCollection(json(R"({"sources":[
		{"id":"color_source_v3","name":"Cam"},
		{"id":"browser_source","name":"Cam","settings":{"url":"https://later"}},
		{"id":"scene","name":"Show","settings":{"items":[{"name":"Cam"}]}}]})"),
			error, frontend);
	ASSERT_EQ(created.size(), 3u);
	EXPECT_TRUE(gone(0)) << "the earlier Cam leaked";
	const auto items = itemsOf("Show");
	ASSERT_EQ(items.size(), 1u);
	EXPECT_EQ(items[0].source, "Cam") << "the earlier one's name is free again";
	OBSSourceAutoRelease cam = byName("Cam");
	EXPECT_STREQ(obs_source_get_id(cam), "browser_source");
	EXPECT_EQ(byName("Cam 2").Get(), nullptr);
}

// A runaway name search answers "free" once the look-ups pass the budget, so it ends (and the
// test fails) instead of hanging.
ObsFactory countingFactory(int &lookups, int budget)
{
	ObsFactory factory = libobsFactory();
	factory.nameTaken = [&lookups, budget, taken = factory.nameTaken](const char *name) {
		return ++lookups <= budget && taken(name);
	};
	return factory;
}

TEST_F(Installer, NamesEndAtTheFirstControlCharacter)
{
	keep("color_source_v3", "Cam");
	created.clear();
	int lookups = 0;
	QString error;
	const QString first = buildCollection(json(R"({"sources":[
		{"id":"color_source_v3","name":"A"},
		{"id":"color_source_v3","name":"A\u0000"},
		{"id":"color_source_v3","name":"Cam\u0000 2"},
		{"id":"color_source_v3","name":"Line\nbreak"},
		{"id":"color_source_v3","name":"\u001b[31m"},
		{"id":"scene","name":"Stage\u0000 9","settings":{"items":[{"name":"A\u0000"},{"name":"A"},
			{"name":"Cam\u0000 2"},{"name":"Line"}]}}]})"),
					      error, frontend, countingFactory(lookups, 1000));
	EXPECT_EQ(first.toUtf8(), QByteArray("Stage"));
	EXPECT_EQ(frontend.madeCurrent, QStringList{"Stage"});
	EXPECT_LT(lookups, 1000);
	EXPECT_EQ(createdNames(), (std::vector<std::string>{"A", "A 2", "Cam 2", "Line", "Source", "Stage"}));
	// Items find their sources by the names in the file, which stay apart.
	std::vector<std::string> shown;
	for (const ItemState &item : itemsOf("Stage"))
		shown.push_back(item.source);
	EXPECT_EQ(shown, (std::vector<std::string>{"A 2", "A", "Cam 2"}));
}

TEST_F(Installer, ManyEqualNamesCostOneLookUpEach)
{
	constexpr int kCount = 2000;
	QJsonArray sources;
	for (int i = 0; i < kCount; ++i) {
		// Inputs whose names differ only past a NUL, and scenes of one name.
		sources.append(QJsonObject{{"id", "color_source_v3"},
					   {"name", QString("Cam") + QChar(0) + QString::number(i)}});
		sources.append(QJsonObject{{"id", "scene"}, {"name", "Stage"}});
	}
	int lookups = 0;
	QString error;
	EXPECT_EQ(buildCollection(QJsonObject{{"sources", sources}}, error, frontend,
				  countingFactory(lookups, 100 * kCount)),
		  "Stage");
	EXPECT_LE(lookups, 4 * kCount);
	// All inputs come first, then the scenes, each numbered from its name upwards.
	std::vector<std::string> expected;
	for (const std::string base : {"Cam", "Stage"})
		for (int number = 1; number <= kCount; ++number)
			expected.push_back(number == 1 ? base : base + ' ' + std::to_string(number));
	EXPECT_EQ(createdNames(), expected);

	// With every name taken the search gives up instead of counting on for ever.
	ObsFactory allTaken = libobsFactory();
	allTaken.nameTaken = [&lookups](const char *) { return ++lookups > 0; };
	lookups = 0;
	EXPECT_EQ(buildCollection(json(R"({"sources":[{"id":"scene","name":"Full"}]})"), error, frontend, allTaken),
		  "");
	EXPECT_EQ(error, "OBS could not create scene: Full");
	EXPECT_LE(lookups, 10000);
}

TEST_F(Installer, FailuresReportAndLeaveNoReferenceBehind)
{
	const char *twoInputsTwoScenes = R"({"sources":[
		{"id":"color_source_v3","name":"Used"},{"id":"color_source_v3","name":"Unused"},
		{"id":"scene","name":"One","settings":{"items":[{"name":"Used"}]}},{"id":"scene","name":"Two"}]})";
	auto failOn = [](const char *refused) {
		ObsFactory factory = libobsFactory();
		auto createSource = factory.createSource;
		auto createScene = factory.createScene;
		factory.createSource = [=](const char *id, const char *name, obs_data_t *s) {
			return strcmp(name, refused) == 0 ? nullptr : createSource(id, name, s);
		};
		factory.createScene = [=](const char *name) {
			return strcmp(name, refused) == 0 ? nullptr : createScene(name);
		};
		return factory;
	};
	const struct {
		const char *collection;
		const char *refused;
		const char *error;
		QStringList left; // what is still alive in OBS afterwards
	} cases[] = {
		{"{}", "", "The file has no OBS sources.", {}},
		{R"({"sources":[]})", "", "The file has no OBS sources.", {}},
		{R"({"sources":[{"id":"color_source_v3","name":"Lonely"},{"id":"a_transition"}]})",
		 "",
		 "The collection has no scenes.",
		 {}},
		{twoInputsTwoScenes, "Unused", "OBS could not create source: Unused", {}},
		{twoInputsTwoScenes, "Two", "OBS could not create scene: Two", {"Used", "One"}},
	};
	for (const auto &c : cases) {
		created.clear();
		frontend.madeCurrent.clear();
		QString error;
		EXPECT_EQ(buildCollection(json(c.collection), error, frontend, failOn(c.refused)), "") << c.error;
		EXPECT_EQ(error, c.error);
		EXPECT_TRUE(frontend.madeCurrent.isEmpty()) << c.error;
		test::waitFor([&] { return aliveNames() == c.left; }, std::chrono::seconds(2));
		EXPECT_EQ(aliveNames(), c.left) << c.error;
		// A finished scene keeps what it shows; once it goes, nothing of the install is left.
		frontend.stopHoldingScenes();
		for (size_t i = 0; i < created.size(); ++i)
			EXPECT_TRUE(gone(i)) << c.error << ": " << created[i].first;
		frontend.holdCreatedScenes();
	}
}

TEST_F(Installer, InstallCollectionTellsTheUser)
{
	QList<MessageBoxContent> boxes;
	setMessageBoxHandler([&](const MessageBoxContent &content) {
		boxes.append(content);
		return MessageBoxAnswer{QMessageBox::Ok, -1};
	});
	EXPECT_TRUE(installCollection(nullptr, json(R"({"ostrelo":{"canvas":"1080x1920"},
		"sources":[{"id":"scene","name":"50% off"}]})"),
				      frontend));
	EXPECT_FALSE(installCollection(nullptr, json(R"({"sources":[{"id":"x"}]})"), frontend));
	setMessageBoxHandler({});
	ASSERT_EQ(boxes.size(), 2);
	EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
	EXPECT_TRUE(boxes[0].text.startsWith("Installed “50% off”. Placeholder captures are empty"));
	EXPECT_TRUE(boxes[0].text.endsWith(
		"\n\nSet Settings → Video to 1080×1920. A collection cannot set the canvas size."));
	EXPECT_EQ(boxes[1].icon, QMessageBox::Warning);
	EXPECT_EQ(boxes[1].title, "Ostrelo");
	EXPECT_EQ(boxes[1].text, "The collection has no scenes.");
}

TEST(ModuleDock, HeadlessFrontEndRefusesTheDockAndLoadGoesOn)
{
	ASSERT_TRUE(test::obsReady());
	EXPECT_EQ(g_log.count("Ostrelo OBS dock could not be registered", LOG_WARNING), 1);
	EXPECT_EQ(g_log.count("Ostrelo OBS loaded"), 0);
	for (QWidget *widget : QApplication::topLevelWidgets())
		EXPECT_NE(widget->objectName(), "OstreloDockRoot") << "the refused dock was not destroyed";

	// Unload after a refused dock asks nothing of the front end.
	void *lib = dlopen(test::modulePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
	ASSERT_NE(lib, nullptr);
	auto unload = reinterpret_cast<void (*)()>(dlsym(lib, "obs_module_unload"));
	ASSERT_NE(unload, nullptr);
	g_log.clear();
	unload();
	EXPECT_EQ(g_log.count("obs_frontend_"), 0);
	dlclose(lib);
}

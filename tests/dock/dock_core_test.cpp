// The dock's requests, replies and collection parsing: plain values in, plain values out.

#include "dock/collection_plan.h"
#include "dock/layout_fetch.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QUrlQuery>

#include <cfloat>

using namespace ostrelo;

namespace {

QJsonObject json(const char *text)
{
	QJsonParseError error{};
	const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(text), &error);
	EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
	return doc.object();
}

QList<QPair<QString, QString>> queryItems(const QUrl &url)
{
	return QUrlQuery(url).queryItems(QUrl::FullyDecoded);
}

} // namespace

TEST(OverlayToken, TakesTheTokenOutOfWhatWasPasted)
{
	const struct {
		const char *pasted;
		const char *token;
	} cases[] = {
		{"abc123", "abc123"},
		{"  abc123 \r\n", "abc123"},
		{"https://o.example/overlay?scene=2&token=T0K&x=1", "T0K"},
		{"\thttps://o.example/o?token=T0K\n", "T0K"},
		{"https://o.example/o?token=a%2Bb%20c", "a+b c"},
		// An empty token item, a sentence, or another case: the whole trimmed text.
		{" https://o.example/o?token=&x=1 ", "https://o.example/o?token=&x=1"},
		{"my token=abc please", "my token=abc please"},
		{"https://o.example/o?Token=abc", "https://o.example/o?Token=abc"},
		{"   ", ""},
	};
	for (const auto &c : cases)
		EXPECT_EQ(extractOverlayToken(QString::fromUtf8(c.pasted)), QString::fromUtf8(c.token)) << c.pasted;
}

TEST(LayoutRequests, CarryTheirQueryItemsInOrder)
{
	const QUrl endpoint = defaultLayoutEndpoint();
	EXPECT_EQ(endpoint.scheme(), "https");
	EXPECT_EQ(endpoint.path(), "/app/api/studio-obs-layout.php");
	EXPECT_EQ(webControlRoomUrl().path(), "/ostrelo/");

	using Items = QList<QPair<QString, QString>>;
	const QUrl list = packListUrl(endpoint, "t&k=1");
	EXPECT_EQ(list.path(), endpoint.path());
	EXPECT_EQ(queryItems(list), (Items{{"token", "t&k=1"}, {"list", "1"}}));
	EXPECT_EQ(queryItems(collectionUrl(endpoint, "tk", "vertical", "")),
		  (Items{{"token", "tk"}, {"orient", "vertical"}}));
	EXPECT_EQ(queryItems(collectionUrl(endpoint, "tk", "landscape", "__starter")),
		  (Items{{"token", "tk"}, {"orient", "landscape"}, {"pack", "__starter"}}));
}

TEST(LayoutReplies, PackListsAndCollectionsAreRecognised)
{
	const auto packs = parsePackList(R"({"packs":[{"id":"neon","name":"Neon"},{"id":"x"},{"id":3,"name":4},7]})");
	ASSERT_TRUE(packs);
	ASSERT_EQ(packs->size(), 4);
	EXPECT_EQ((*packs)[0].id, "neon");
	EXPECT_EQ((*packs)[0].name, "Neon");
	EXPECT_EQ((*packs)[1].name, "Pack");
	EXPECT_EQ((*packs)[2].id, "");
	EXPECT_EQ((*packs)[2].name, "Pack");
	EXPECT_EQ((*packs)[3].name, "Pack");
	for (const char *noList : {R"({"packs":[]})", R"({"packs":{"id":"a"}})", "{}", "[1]", "not json", ""})
		EXPECT_FALSE(parsePackList(noList)) << noList;

	EXPECT_TRUE(isSceneCollection(json(R"({"sources":5,"scene_order":null})")));
	EXPECT_FALSE(isSceneCollection(json(R"({"sources":[]})")));
	EXPECT_FALSE(isSceneCollection(parseJsonObject("[{\"sources\":[],\"scene_order\":[]}]")));
	EXPECT_EQ(layoutReplyProblem(json(R"({"error":"Token expired"})")), "Token expired");
	for (const char *noError : {R"({"error":""})", R"({"error":5})", "{}"})
		EXPECT_EQ(layoutReplyProblem(json(noError)), "The server did not return a valid OBS collection.");
}

TEST(CollectionPlan, SortsSourcesIntoInputsAndScenes)
{
	const CollectionPlan plan = planCollection(json(R"({"sources":[
		{"id":"browser_source","name":"Overlay","settings":{"url":"https://o"}},
		{"id":"fade_transition","name":"Fade"},
		{"id":"scene","name":"Main","settings":{"items":[
			{"name":"Overlay","pos":{"x":10.5,"y":-4},"scale":{"x":0.5,"y":2},"crop_left":1,"crop_top":2,
			 "crop_right":3,"crop_bottom":4,"rot":90,"visible":false,"locked":true},
			{"name":"Cam"}]}},
		{"id":"Scene","name":"Not a scene"},
		{"id":"obs_stinger_transition_x","name":"Sting"}]})"));
	ASSERT_TRUE(plan.hasSources);
	ASSERT_EQ(plan.inputs.size(), 2);
	EXPECT_EQ(plan.inputs[0].typeId, "browser_source");
	EXPECT_EQ(plan.inputs[0].settings.value("url").toString(), "https://o");
	EXPECT_EQ(plan.inputs[1].name, "Not a scene");
	ASSERT_EQ(plan.scenes.size(), 1);
	ASSERT_EQ(plan.scenes[0].items.size(), 2);
	const ItemPlan &set = plan.scenes[0].items[0];
	EXPECT_EQ(set.sourceName, "Overlay");
	EXPECT_FLOAT_EQ(set.posX, 10.5f);
	EXPECT_FLOAT_EQ(set.posY, -4.0f);
	EXPECT_FLOAT_EQ(set.scaleX, 0.5f);
	EXPECT_FLOAT_EQ(set.scaleY, 2.0f);
	EXPECT_EQ(std::tie(set.cropLeft, set.cropTop, set.cropRight, set.cropBottom), std::make_tuple(1, 2, 3, 4));
	EXPECT_FLOAT_EQ(set.rotation, 90.0f);
	EXPECT_FALSE(set.visible);
	EXPECT_TRUE(set.locked);
	const ItemPlan &bare = plan.scenes[0].items[1];
	EXPECT_EQ(std::make_tuple(bare.posX, bare.posY, bare.scaleX, bare.scaleY, bare.rotation),
		  std::make_tuple(0.0f, 0.0f, 1.0f, 1.0f, 0.0f));
	EXPECT_TRUE(bare.visible);
	EXPECT_FALSE(bare.locked);
}

TEST(CollectionPlan, MistypedValuesTakeTheirDefaults)
{
	const CollectionPlan plan = planCollection(json(R"({"sources":[{"id":"scene","settings":{"items":[
		{"name":7,"pos":"left","scale":[2,2],"crop_left":"5","crop_top":2.5,"crop_right":1e10,
		 "crop_bottom":-3,"rot":"90","visible":"false","locked":1},
		{"pos":{"x":1e300,"y":-1e300},"scale":{"x":"2","y":1e39},"rot":-1e308},
		"not an item"]}}]})"));
	ASSERT_EQ(plan.scenes.size(), 1);
	ASSERT_EQ(plan.scenes[0].items.size(), 3);
	const ItemPlan &typed = plan.scenes[0].items[0];
	EXPECT_EQ(typed.sourceName, "");
	EXPECT_EQ(std::make_tuple(typed.posX, typed.posY, typed.scaleX, typed.scaleY, typed.rotation),
		  std::make_tuple(0.0f, 0.0f, 1.0f, 1.0f, 0.0f));
	EXPECT_EQ(std::tie(typed.cropLeft, typed.cropTop, typed.cropRight, typed.cropBottom),
		  std::make_tuple(0, 0, 0, -3));
	EXPECT_TRUE(typed.visible);
	EXPECT_FALSE(typed.locked);
	// Numbers beyond float land on its limits instead of an undefined conversion.
	const ItemPlan &huge = plan.scenes[0].items[1];
	EXPECT_EQ(std::make_tuple(huge.posX, huge.posY, huge.scaleX, huge.scaleY, huge.rotation),
		  std::make_tuple(FLT_MAX, -FLT_MAX, 1.0f, FLT_MAX, -FLT_MAX));

	const struct {
		const char *collection;
		bool hasSources;
		int inputs, scenes;
	} shapes[] = {
		{"{}", false, 0, 0},
		{R"({"sources":[]})", false, 0, 0},
		{R"({"sources":{"id":"scene"}})", false, 0, 0},
		{R"({"sources":"scene"})", false, 0, 0},
		{R"({"sources":[1,"x",null,[]]})", true, 4, 0},
		{R"({"sources":[{"id":"scene","settings":{"items":{"name":"a"}}},{"id":"scene","settings":[]}]})", true,
		 0, 2},
	};
	for (const auto &s : shapes) {
		const CollectionPlan p = planCollection(json(s.collection));
		EXPECT_EQ(p.hasSources, s.hasSources) << s.collection;
		EXPECT_EQ(p.inputs.size(), s.inputs) << s.collection;
		EXPECT_EQ(p.scenes.size(), s.scenes) << s.collection;
	}
}

TEST(CollectionPlan, BrowserSettingsConvertEachValueWithItsDefault)
{
	const BrowserSettings given = readBrowserSettings(json(R"({"url":"https://o/x","width":1920,"height":1080,
		"fps":60,"fps_custom":false,"css":"body{}","shutdown":false,"restart_when_active":true,"reroute_audio":true})"));
	EXPECT_EQ(given.url, "https://o/x");
	EXPECT_EQ(std::make_tuple(given.width, given.height, given.fps), std::make_tuple(1920, 1080, 60));
	EXPECT_EQ(std::make_tuple(given.fpsCustom, given.shutdown, given.restartWhenActive, given.rerouteAudio),
		  std::make_tuple(false, false, true, true));
	EXPECT_EQ(given.css, "body{}");

	for (const char *mistyped :
	     {"{}", R"({"url":5,"width":"1920","height":1080.5,"fps":1e12,"fps_custom":"no","css":[],"shutdown":0,
		"restart_when_active":"yes","reroute_audio":null})"}) {
		const BrowserSettings b = readBrowserSettings(json(mistyped));
		EXPECT_EQ(b.url, "") << mistyped;
		EXPECT_EQ(std::make_tuple(b.width, b.height, b.fps), std::make_tuple(800, 600, 30)) << mistyped;
		EXPECT_EQ(std::make_tuple(b.fpsCustom, b.shutdown, b.restartWhenActive, b.rerouteAudio),
			  std::make_tuple(true, true, false, false))
			<< mistyped;
		EXPECT_EQ(b.css, "") << mistyped;
	}

	// Sizes and rates beyond what the browser source offers are held to its ranges.
	const struct {
		const char *settings;
		int width, height, fps;
	} ranges[] = {
		{R"({"width":8192,"height":1,"fps":60})", 8192, 1, 60},
		{R"({"width":8193,"height":0,"fps":61})", 8192, 1, 60},
		{R"({"width":2147483647,"height":-2147483648,"fps":-30})", 8192, 1, 1},
	};
	for (const auto &r : ranges) {
		const BrowserSettings b = readBrowserSettings(json(r.settings));
		EXPECT_EQ(std::make_tuple(b.width, b.height, b.fps), std::make_tuple(r.width, r.height, r.fps))
			<< r.settings;
	}
}

TEST(CollectionPlan, InstalledMessageNamesSceneAndCanvas)
{
	const QString tail = "”. Placeholder captures are empty — pick the game, camera or device in each source.\n\n";
	const struct {
		const char *scene;
		const char *collection;
		QString note;
	} cases[] = {
		{"Main", R"({"ostrelo":{"canvas":"1080x1920"}})",
		 "Set Settings → Video to 1080×1920. A collection cannot set the canvas size."},
		{"Main", R"({"ostrelo":{"canvas":"1920X1080"}})",
		 "Set Settings → Video to 1920X1080. A collection cannot set the canvas size."},
		{"50% %2 off", R"({"ostrelo":{"canvas":""}})",
		 "Set Settings → Video to 1920×1080 or 1080×1920 to match the design."},
		{"Main", R"({"ostrelo":"1920x1080"})",
		 "Set Settings → Video to 1920×1080 or 1080×1920 to match the design."},
	};
	for (const auto &c : cases)
		EXPECT_EQ(installedMessage(c.scene, json(c.collection)),
			  QString("Installed “") + c.scene + tail + c.note)
			<< c.collection;
}

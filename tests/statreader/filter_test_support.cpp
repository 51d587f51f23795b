#include "filter_test_support.h"

#include "tests/support/obs_harness.h"

#include <QJsonDocument>

#include <vector>

namespace ostrelo::test {

std::string hudPng(const std::string &name, const hudframes::HudFrame &frame)
{
	const QImage image = hudframes::renderHudFrame(frame);
	return writePng(name, image.width(), image.height(), image.constBits());
}

std::string solidPng(const std::string &name, int width, int height, uint32_t rgba)
{
	std::vector<unsigned char> pixels(size_t(width) * height * 4);
	for (size_t i = 0; i < pixels.size(); i += 4) {
		pixels[i] = uint8_t(rgba >> 24);
		pixels[i + 1] = uint8_t(rgba >> 16);
		pixels[i + 2] = uint8_t(rgba >> 8);
		pixels[i + 3] = uint8_t(rgba);
	}
	return writePng(name, width, height, pixels.data());
}

ReaderScene::ReaderScene(const std::string &file, obs_data_t *filterSettings)
{
	OBSDataAutoRelease s = obs_data_create();
	obs_data_set_string(s, "file", file.c_str());
	image = obs_source_create("image_source", "hud", s, nullptr);
	filter = obs_source_create_private("vexmoor_stat_reader", "stat reader", filterSettings);
	obs_source_filter_add(image, filter);
	obs_set_output_source(0, image);
}

ReaderScene::~ReaderScene()
{
	obs_set_output_source(0, nullptr);
	obs_source_filter_remove(image, filter);
}

void ReaderScene::show(const std::string &file)
{
	OBSDataAutoRelease s = obs_data_create();
	obs_data_set_string(s, "file", file.c_str());
	obs_source_update(image, s);
}

StatReaderFilter &ReaderScene::instance() const
{
	return *static_cast<FilterRef *>(obs_obj_get_data(filter))->get();
}

OBSDataAutoRelease readerSettings(const std::string &apiUrl)
{
	OBSDataAutoRelease s = obs_data_create();
	obs_data_set_int(s, "event_id", 7);
	obs_data_set_string(s, "token", "tok");
	obs_data_set_string(s, "api_url", apiUrl.c_str());
	return s;
}

QJsonObject jsonBody(const std::string &body)
{
	return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}

} // namespace ostrelo::test

#include "align_obs_support.h"

#include <string>

namespace aligntest {

FilterOnSource::FilterOnSource(obs_data_t *settings)
{
	OBSDataAutoRelease color = obs_data_create();
	obs_data_set_int(color, "width", 320);
	obs_data_set_int(color, "height", 180);
	obs_data_set_int(color, "color", 0xff203040);
	source_ = obs_source_create("color_source_v3", "align-test-color", color, nullptr);
	filter_ = obs_source_create_private("vexmoor_stat_reader", "align-test-reader", settings);
	if (source_ && filter_)
		obs_source_filter_add(source_, filter_);
	if (filter_)
		settings_ = obs_source_get_settings(filter_);
}

FilterOnSource::~FilterOnSource()
{
	remove();
}

void FilterOnSource::remove()
{
	if (source_ && filter_)
		obs_source_filter_remove(source_, filter_);
	filter_ = nullptr;
}

std::set<std::string> userKeys(obs_data_t *data)
{
	std::set<std::string> keys;
	for (obs_data_item_t *item = obs_data_first(data); item; obs_data_item_next(&item))
		if (obs_data_item_has_user_value(item))
			keys.insert(obs_data_item_get_name(item));
	return keys;
}

std::vector<long long> storedRegion(obs_data_t *data, const char *key)
{
	std::vector<long long> v;
	for (const char *suffix : {"_x", "_y", "_w", "_h"})
		v.push_back(obs_data_get_int(data, (std::string(key) + suffix).c_str()));
	return v;
}

std::vector<uint8_t> rgbaBytes(const QImage &image)
{
	const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
	std::vector<uint8_t> bytes(size_t(rgba.width()) * size_t(rgba.height()) * 4);
	for (int y = 0; y < rgba.height(); ++y)
		std::copy_n(rgba.constScanLine(y), size_t(rgba.width()) * 4,
			    bytes.data() + size_t(y) * rgba.width() * 4);
	return bytes;
}

} // namespace aligntest

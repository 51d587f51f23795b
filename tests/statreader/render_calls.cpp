#include "render_calls.h"

#include <graphics/graphics.h>

#include <cstring>

namespace ostrelo::test {

RenderCalls::RenderCalls(int width, int height) : width_(width), height_(height)
{
	obs_enter_graphics();
	texrender_ = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
	stage_ = gs_stagesurface_create(uint32_t(width), uint32_t(height), GS_RGBA);
	obs_leave_graphics();
}

RenderCalls::~RenderCalls()
{
	obs_enter_graphics();
	gs_stagesurface_destroy(stage_);
	gs_texrender_destroy(texrender_);
	obs_leave_graphics();
}

bool RenderCalls::render(obs_source_t *source, std::vector<uint8_t> &rgba)
{
	bool ok = false;
	obs_enter_graphics();
	gs_texrender_reset(texrender_);
	if (texrender_ && stage_ && gs_texrender_begin(texrender_, uint32_t(width_), uint32_t(height_))) {
		// An opaque background, so that translucent pixels show how they were blended.
		vec4 background;
		vec4_set(&background, 0.25f, 0.5f, 0.75f, 1.0f);
		gs_clear(GS_CLEAR_COLOR, &background, 0.0f, 0);
		gs_ortho(0.0f, float(width_), 0.0f, float(height_), -100.0f, 100.0f);
		gs_blend_state_push();
		gs_reset_blend_state();
		obs_source_video_render(source);
		gs_blend_state_pop();
		gs_texrender_end(texrender_);
		gs_stage_texture(stage_, gs_texrender_get_texture(texrender_));
		uint8_t *data = nullptr;
		uint32_t lineSize = 0;
		if (gs_stagesurface_map(stage_, &data, &lineSize)) {
			rgba.resize(size_t(width_) * size_t(height_) * 4);
			for (int y = 0; y < height_; ++y)
				std::memcpy(rgba.data() + size_t(y) * size_t(width_) * 4, data + size_t(y) * lineSize,
					    size_t(width_) * 4);
			gs_stagesurface_unmap(stage_);
			ok = true;
		}
	}
	obs_leave_graphics();
	return ok;
}

namespace {

OBSDataAutoRelease imageSettings(const std::string &file)
{
	OBSDataAutoRelease s = obs_data_create();
	obs_data_set_string(s, "file", file.c_str());
	return s;
}

} // namespace

SourceWithReader::SourceWithReader(const std::string &name, const std::string &file, bool withReader)
    : SourceWithReader("image_source", name, imageSettings(file), withReader)
{
}

SourceWithReader::SourceWithReader(const char *id, const std::string &name, obs_data_t *settings, bool withReader)
{
	source = obs_source_create(id, name.c_str(), settings, nullptr);
	if (withReader) {
		OBSDataAutoRelease readerSettings = obs_data_create();
		filter = obs_source_create_private("vexmoor_stat_reader", (name + " reader").c_str(), readerSettings);
		obs_source_filter_add(source, filter);
	}
}

SourceWithReader::~SourceWithReader()
{
	if (filter)
		obs_source_filter_remove(source, filter);
}

void SourceWithReader::show(const std::string &file)
{
	obs_source_update(source, imageSettings(file));
}

StatReaderFilter &SourceWithReader::instance() const
{
	return *static_cast<FilterRef *>(obs_obj_get_data(filter))->get();
}

long firstDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
	if (a.size() != b.size())
		return 0;
	for (size_t i = 0; i < a.size(); ++i)
		if (a[i] != b[i])
			return long(i);
	return -1;
}

} // namespace ostrelo::test

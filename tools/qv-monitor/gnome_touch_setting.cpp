#include "gnome_touch_setting.h"

#include "gnome_touch_output.h"
#include "qv-driverd/monitor_output.h"

#include <gio/gio.h>

#include <optional>
#include <vector>

namespace qv::tools {

namespace {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct SchemaUnref {
  void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};

std::vector<std::string> takeStrv(gchar** strv) {
  std::vector<std::string> items;
  for (gchar** at = strv; at && *at; ++at) items.emplace_back(*at);
  g_strfreev(strv);
  return items;
}

class GnomeTouchSetting final : public TouchOutputSetting {
public:
  GnomeTouchSetting() : path_(gnomeTouchscreenPath(driverd::kDeviceVendor, driverd::kDeviceProduct)) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();  // not ours to free
    std::unique_ptr<GSettingsSchema, SchemaUnref> schema(
        source ? g_settings_schema_source_lookup(source, kGnomeTouchscreenSchema, TRUE) : nullptr);
    if (!schema || !g_settings_schema_has_key(schema.get(), kGnomeOutputKey)) {
      problem_ = std::string("touch screen: GNOME's touchscreen settings (") + kGnomeTouchscreenSchema +
                 ") are not installed; set the touch screen's monitor in GNOME's Settings";
      return;
    }
    settings_.reset(g_settings_new_full(schema.get(), nullptr, path_.c_str()));
  }

  std::string map(const DrmConnector& monitor) override {
    if (!settings_) return problem_;
    const GnomeOutput output = gnomeOutput(monitor.edid);
    const std::string done = "touch screen on " + monitorText(monitor) + ": GNOME's touchscreen setting " + path_ +
                             " output is " + gnomeOutputText(output);
    if (current() == std::vector<std::string>(output.begin(), output.end())) return done;
    const gchar* items[] = {output[0].c_str(), output[1].c_str(), output[2].c_str(), nullptr};
    return write(items) ? done : refused();
  }

  void keep() override {
    if (settings_) kept_ = current();
  }

  std::string putBack() override {
    if (!settings_ || !kept_) return {};
    std::vector<const gchar*> items;
    for (const std::string& item : *kept_) items.push_back(item.c_str());
    items.push_back(nullptr);
    const bool written = write(items.data());
    kept_.reset();
    return written ? "touch screen: the calibration ended; GNOME's touchscreen setting is as it was" : refused();
  }

private:
  std::vector<std::string> current() { return takeStrv(g_settings_get_strv(settings_.get(), kGnomeOutputKey)); }

  bool write(const gchar* const* items) {
    if (!g_settings_set_strv(settings_.get(), kGnomeOutputKey, items)) return false;
    g_settings_sync();  // on its way to the backend before anything else happens
    return true;
  }

  std::string refused() const {
    return "touch screen: GNOME's touchscreen setting " + path_ + " output cannot be written (locked down)";
  }

  std::string path_;
  std::string problem_;
  std::unique_ptr<GSettings, ObjectUnref> settings_;
  std::optional<std::vector<std::string>> kept_;
};

}  // namespace

std::unique_ptr<TouchOutputSetting> gnomeTouchSetting() { return std::make_unique<GnomeTouchSetting>(); }

}  // namespace qv::tools

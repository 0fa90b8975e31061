#include "kwin_touch_output.h"

#include "qv-driverd/pointer_output.h"

#include <gio/gio.h>

#include <map>
#include <vector>

namespace qv::tools {

namespace {

constexpr const char* kService = "org.kde.KWin";
constexpr const char* kManagerPath = "/org/kde/KWin/InputDevice";
constexpr const char* kManagerInterface = "org.kde.KWin.InputDeviceManager";
constexpr const char* kDeviceInterface = "org.kde.KWin.InputDevice";
constexpr int kCallTimeoutMs = 3000;

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct VariantUnref {
  void operator()(GVariant* v) const { g_variant_unref(v); }
};
struct ErrorFree {
  void operator()(GError* e) const { g_error_free(e); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;
using Error = std::unique_ptr<GError, ErrorFree>;

// A sysname becomes part of an object path only when it is one ("event5").
bool pathElement(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (!g_ascii_isalnum(c) && c != '_') return false;
  }
  return true;
}

class KwinTouchOutput final : public TouchOutputSetting {
public:
  explicit KwinTouchOutput(std::function<void()> deviceCame) : deviceCame_(std::move(deviceCame)) {
    GError* error = nullptr;
    bus_.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
    if (!bus_) {
      problem_ = std::string("touch screen: no session bus to reach KWin (") + (error ? error->message : "") + ")";
      if (error) g_error_free(error);
      return;
    }
    subscription_ = g_dbus_connection_signal_subscribe(bus_.get(), kService, kManagerInterface, "deviceAdded",
                                                       kManagerPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onDeviceAdded,
                                                       this, nullptr);
  }

  ~KwinTouchOutput() override {
    if (bus_ && subscription_) g_dbus_connection_signal_unsubscribe(bus_.get(), subscription_);
  }
  KwinTouchOutput(const KwinTouchOutput&) = delete;
  KwinTouchOutput& operator=(const KwinTouchOutput&) = delete;

  std::string map(const DrmConnector& monitor) override {
    if (!bus_) return problem_;
    std::string problem;
    const auto devices = touchDevices(problem);
    if (!problem.empty()) return problem;
    if (devices.empty()) {
      return "touch screen: KWin has no device \"" + std::string(driverd::kOutputDeviceName) +
             "\" yet; it is mapped when it comes";
    }
    for (const std::string& device : devices) {
      if (!setOutputName(device, monitor.name, problem)) return problem;
    }
    // KWin takes only the name of an output it has now; one it does not know yet is dropped.
    for (const std::string& device : devices) {
      if (outputName(device) != monitor.name) {
        return "touch screen: KWin keeps " + device + " off " + monitor.name +
               " (no such output for it yet); it is mapped again when the monitors change";
      }
    }
    return "touch screen on " + monitorText(monitor) + ": KWin's outputName of " + devices.front() + " is " +
           monitor.name;
  }

  void keep() override {
    kept_.clear();
    if (!bus_) return;
    std::string problem;
    for (const std::string& device : touchDevices(problem)) kept_[device] = outputName(device);
  }

  std::string putBack() override {
    std::string problem;
    for (const auto& [device, name] : kept_) {
      if (!setOutputName(device, name, problem)) return problem;
    }
    const bool any = !kept_.empty();
    kept_.clear();
    return any ? "touch screen: the calibration ended; KWin's outputName is as it was" : std::string();
  }

private:
  static void onDeviceAdded(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                            gpointer self) {
    // Any device: KWin tells only its sysname, and the mapping looks at names anyway.
    static_cast<KwinTouchOutput*>(self)->deviceCame_();
  }

  Variant property(const std::string& path, const char* interface, const char* name, Error* error) {
    GError* e = nullptr;
    Variant reply(g_dbus_connection_call_sync(bus_.get(), kService, path.c_str(), "org.freedesktop.DBus.Properties",
                                              "Get", g_variant_new("(ss)", interface, name), G_VARIANT_TYPE("(v)"),
                                              G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &e));
    if (!reply) {
      if (error) error->reset(e);
      else if (e) g_error_free(e);
      return nullptr;
    }
    GVariant* value = nullptr;
    g_variant_get(reply.get(), "(v)", &value);
    return Variant(value);
  }

  // The sysnames of the devices named as the driver's.
  std::vector<std::string> touchDevices(std::string& problem) {
    std::vector<std::string> found;
    Error error;
    const Variant names = property(kManagerPath, kManagerInterface, "devicesSysNames", &error);
    if (!names || !g_variant_is_of_type(names.get(), G_VARIANT_TYPE_STRING_ARRAY)) {
      problem = "touch screen: KWin does not list its input devices (" +
                std::string(error ? error->message : "not a list of names") + ")";
      return found;
    }
    gsize count = 0;
    const gchar** sysNames = g_variant_get_strv(names.get(), &count);
    for (gsize i = 0; i < count; ++i) {
      const std::string sysName = sysNames[i];
      if (!pathElement(sysName)) continue;
      const Variant name = property(devicePath(sysName), kDeviceInterface, "name", nullptr);
      if (name && g_variant_is_of_type(name.get(), G_VARIANT_TYPE_STRING) &&
          g_variant_get_string(name.get(), nullptr) == driverd::kOutputDeviceName) {
        found.push_back(sysName);
      }
    }
    g_free(sysNames);
    return found;
  }

  std::string outputName(const std::string& device) {
    const Variant name = property(devicePath(device), kDeviceInterface, "outputName", nullptr);
    return name && g_variant_is_of_type(name.get(), G_VARIANT_TYPE_STRING) ? g_variant_get_string(name.get(), nullptr)
                                                                           : std::string();
  }

  bool setOutputName(const std::string& device, const std::string& connector, std::string& problem) {
    GError* e = nullptr;
    Variant reply(g_dbus_connection_call_sync(
        bus_.get(), kService, devicePath(device).c_str(), "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", kDeviceInterface, "outputName", g_variant_new_string(connector.c_str())), nullptr,
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &e));
    if (reply) return true;
    const Error error(e);
    problem = "touch screen: KWin refused outputName " + connector + " for " + device + " (" +
              (error ? error->message : "") + "); set the touch screen's monitor in System Settings";
    return false;
  }

  static std::string devicePath(const std::string& sysName) { return std::string(kManagerPath) + "/" + sysName; }

  std::function<void()> deviceCame_;
  std::unique_ptr<GDBusConnection, ObjectUnref> bus_;
  guint subscription_ = 0;
  std::string problem_;
  std::map<std::string, std::string> kept_;  // outputName of each device before a calibration
};

}  // namespace

std::unique_ptr<TouchOutputSetting> kwinTouchOutput(std::function<void()> deviceCame) {
  return std::make_unique<KwinTouchOutput>(std::move(deviceCame));
}

}  // namespace qv::tools

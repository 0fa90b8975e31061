#include "sway_replies.h"

#include "sway_ipc.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <charconv>

namespace qv::tools {

namespace {

QJsonDocument parsed(std::string_view text, const char* what) {
  QJsonParseError error{};
  const QJsonDocument doc =
      QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
  if (error.error != QJsonParseError::NoError) {
    throw SwayIpcError(std::string("sway's ") + what + " is no JSON: " + error.errorString().toStdString());
  }
  return doc;
}

QJsonArray parsedArray(std::string_view text, const char* what) {
  const QJsonDocument doc = parsed(text, what);
  if (!doc.isArray()) throw SwayIpcError(std::string("sway's ") + what + " is no list");
  return doc.array();
}

QJsonObject parsedObject(std::string_view text, const char* what) {
  const QJsonDocument doc = parsed(text, what);
  if (!doc.isObject()) throw SwayIpcError(std::string("sway's ") + what + " is no object");
  return doc.object();
}

std::string text(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString().toStdString(); }

// wlroots gives a serial number without a serial descriptor as "0x" and eight hex digits,
// where the panel and the X11 reader give it in decimal (and none for 0): the same form
// here, so that a monitor calibrated under either is found under sway.
std::string decimalSerial(std::string serial) {
  if (serial.size() != 10 || serial.compare(0, 2, "0x") != 0) return serial;
  std::uint32_t number = 0;
  const char* end = serial.data() + serial.size();
  const auto [at, error] = std::from_chars(serial.data() + 2, end, number, 16);
  if (error != std::errc{} || at != end) return serial;
  return number == 0 ? std::string() : std::to_string(number);
}

}  // namespace

std::optional<int> rotationOfSwayTransform(std::string_view transform) {
  // sway turns the picture clockwise while the rotation kept here turns it counter-clockwise
  // (RandR's "left" is 90): sway's "90" is this program's 270. A mirrored picture cannot be
  // told to the mapping; it is mapped by its rotation alone.
  if (transform.starts_with("flipped")) {
    transform.remove_prefix(std::string_view("flipped").size());
    if (transform.empty()) return 0;
    if (!transform.starts_with('-')) return std::nullopt;
    transform.remove_prefix(1);
  }
  if (transform == "normal") return 0;
  if (transform == "90") return 270;
  if (transform == "180") return 180;
  if (transform == "270") return 90;
  return std::nullopt;
}

std::vector<calibration::DesktopMonitor> swayMonitors(std::string_view outputsReply) {
  std::vector<calibration::DesktopMonitor> monitors;
  for (const QJsonValue& value : parsedArray(outputsReply, "list of outputs")) {
    const QJsonObject o = value.toObject();
    const QJsonObject rect = o.value(QLatin1String("rect")).toObject();
    calibration::DesktopMonitor m;
    m.connector = text(o, "name");
    m.width = rect.value(QLatin1String("width")).toInt();
    m.height = rect.value(QLatin1String("height")).toInt();
    // An output that is off shows nothing to touch.
    if (!o.value(QLatin1String("active")).toBool() || m.connector.empty() || m.width <= 0 || m.height <= 0) continue;
    m.maker = text(o, "make");
    m.model = text(o, "model");
    m.serial = decimalSerial(text(o, "serial"));
    m.left = rect.value(QLatin1String("x")).toInt();
    m.top = rect.value(QLatin1String("y")).toInt();
    m.rotation = rotationOfSwayTransform(text(o, "transform")).value_or(0);
    monitors.push_back(std::move(m));
  }
  return monitors;
}

std::optional<SwayInput> swayInput(std::string_view inputsReply, std::string_view name) {
  for (const QJsonValue& value : parsedArray(inputsReply, "list of inputs")) {
    const QJsonObject o = value.toObject();
    if (text(o, "name") != name) continue;
    SwayInput input{text(o, "identifier"), std::nullopt};
    if (input.identifier.empty()) continue;
    const QJsonArray m = o.value(QLatin1String("libinput")).toObject().value(QLatin1String("calibration_matrix")).toArray();
    if (m.size() == 6) {
      std::array<float, 6> matrix{};
      for (qsizetype i = 0; i < 6; ++i) matrix[static_cast<std::size_t>(i)] = static_cast<float>(m.at(i).toDouble());
      input.matrix = matrix;
    }
    return input;
  }
  return std::nullopt;
}

std::string swayInputIdentifier(std::uint16_t vendor, std::uint16_t product, std::string_view name) {
  std::string id = std::to_string(vendor) + ":" + std::to_string(product) + ":";
  for (const char c : name) id += (c == ' ') ? '_' : c;
  return id;
}

SwayInputChange swayInputChange(std::string_view event) {
  const QJsonObject o = parsedObject(event, "input event");
  return {text(o, "change"), text(o.value(QLatin1String("input")).toObject(), "name")};
}

bool swaySubscribed(std::string_view reply) {
  return parsedObject(reply, "reply to a subscription").value(QLatin1String("success")).toBool();
}

std::string swayCommandFailure(std::string_view reply) {
  for (const QJsonValue& value : parsedArray(reply, "reply to a command")) {
    const QJsonObject o = value.toObject();
    if (o.value(QLatin1String("success")).toBool()) continue;
    const std::string error = text(o, "error");
    return error.empty() ? "no reason given" : error;
  }
  return {};
}

std::optional<std::string> swayArgument(std::string_view name) {
  if (name.empty()) return std::nullopt;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '"' || c == '\\' || c == '\'') return std::nullopt;
  }
  return "\"" + std::string(name) + "\"";
}

}  // namespace qv::tools

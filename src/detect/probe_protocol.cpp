#include "detect/probe_protocol.h"

#include <cstdio>

namespace qv::detect {

namespace {

// Characters from..from+count-1 of text, counting from 1; cut short past the end.
std::string piece(std::string_view text, std::size_t from, std::size_t count) {
  if (from == 0 || from > text.size()) return {};
  return std::string(text.substr(from - 1, count));
}

}  // namespace

std::int32_t nextBaudRate(std::int32_t rate) {
  switch (rate) {
    case 19200: return 9600;
    case 9600: return 1200;
    case 1200: return 0;
    default: return rate;
  }
}

std::string modelForBaudRate(std::int32_t rate) {
  switch (rate) {
    case 1200: return "T201";
    case 9600: return "T302";
    case 19200: return "T303";
    default: return std::string(kUnknownModel);
  }
}

std::string replyText(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  char part[4];
  for (const std::uint8_t b : bytes) {
    std::snprintf(part, sizeof part, "%02X ", b);
    text += part;
  }
  return text;
}

Reply classifyReply(std::span<const std::uint8_t> bytes) {
  const std::string text = replyText(bytes);
  const bool acknowledgement = piece(text, 1, 8) == "FF 70 00";
  if (piece(text, 1, 2) == "FF" && !acknowledgement) {
    return {Reply::Kind::Firmware, piece(text, 4, 2) + piece(text, 7, 2)};
  }
  if (acknowledgement) return {Reply::Kind::Acknowledgement, {}};
  if (piece(text, 1, 5) == "F0 00") return {Reply::Kind::NewerChip, piece(text, 7, 2) + piece(text, 10, 2)};
  return {};
}

std::string progressText(std::string_view portName) {
  return "Detecting on " + std::string(portName) + " " + " ...";
}

}  // namespace qv::detect

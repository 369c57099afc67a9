#include "mac/SkippedItems.h"

#include <glib.h>

#include <cstdio>

#include "Common/Logger.h"

namespace {

// Room enough for the start and the name of a path in a line of at most
// 1023 bytes.
constexpr size_t kShownBytes = 600;
constexpr size_t kShownStart = 200;
constexpr char kEllipsis[] = "\u2026";

bool IsContinuationByte(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::string PathForLog(const std::string& path) {
  std::string text;
  const char* rest = path.data();
  const char* end = rest + path.size();
  while (rest < end) {
    const gchar* valid = nullptr;
    g_utf8_validate(rest, end - rest, &valid);
    text.append(rest, valid);
    if (valid == end)
      break;
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(*valid));
    text += escape;
    rest = valid + 1;
  }
  if (text.size() <= kShownBytes)
    return text;
  size_t start = kShownStart;
  while (IsContinuationByte(text[start]))
    --start;
  size_t tail = text.size() - (kShownBytes - kShownStart);
  while (IsContinuationByte(text[tail]))
    ++tail;
  return text.substr(0, start) + kEllipsis + text.substr(tail);
}

void CSkippedItems::Add(const std::string& path, bool folder, const std::string& reason) {
  if (++mCount > kLoggedItems || mLogger == nullptr)
    return;
  mLogger->Warning(
      folder ? "Left out the folder '%s' and everything in it: %s" : "Left out '%s': %s",
      PathForLog(path).c_str(), reason.c_str());
}

void CSkippedItems::Finish() {
  if (mCount > kLoggedItems && mLogger != nullptr)
    mLogger->Warning("Left out %zu more items, not logged one by one", mCount - kLoggedItems);
}

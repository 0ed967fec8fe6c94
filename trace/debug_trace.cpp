#include "trace/debug_trace.h"

std::atomic<bool> g_bDebugMessage{false};

namespace {

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

void AppendEscaped(std::u16string& out, char16_t c) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u"\\x";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

}  // namespace

std::u16string EscapeControls(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (const char16_t c : text) {
    if (IsControl(c)) {
      AppendEscaped(out, c);
    } else {
      out += c;
    }
  }
  return out;
}

std::u16string EscapeControlsInHead(std::u16string_view head) {
  std::u16string out;
  out.reserve(head.size());
  for (std::size_t i = 0; i < head.size(); ++i) {
    const char16_t c = head[i];
    const bool lineEnd = (c == u'\r' && i + 1 < head.size() && head[i + 1] == u'\n') ||
                         (c == u'\n' && i > 0 && head[i - 1] == u'\r');
    if (IsControl(c) && c != u'\t' && !lineEnd) {
      AppendEscaped(out, c);
    } else {
      out += c;
    }
  }
  return out;
}

#include "trace/debug_trace.h"

#include "platform/base/codepage.h"

std::atomic<bool> g_bDebugMessage{false};

namespace {

// What a terminal would act on rather than show: the C0 and C1 controls and DEL, and the
// bidirectional embeddings, overrides and isolates, which reorder the rest of the line.
bool IsControl(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// "\xNN" for a byte or a character below U+0100, "\uNNNN" for any other.
void AppendEscaped(std::u16string& out, char16_t c) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += c <= 0xFF ? u"\\x" : u"\\u";
  for (int shift = c <= 0xFF ? 4 : 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
}

// Escapes the controls and the bytes that are no text in the locale; with `headLayout` the CR LF
// line ends and tabs of an HTTP head stay.
std::u16string Escape(std::u16string_view text, bool headLayout) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool layout = headLayout && (c == u'\t' || (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ||
                                       (c == u'\n' && i > 0 && text[i - 1] == u'\r'));
    if (const std::optional<unsigned char> byte = platform::KeptByteAt(text, i)) {
      AppendEscaped(out, *byte);
    } else if (IsControl(c) && !layout) {
      AppendEscaped(out, c);
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::u16string EscapeControls(std::u16string_view text) { return Escape(text, false); }

std::u16string EscapeControlsInHead(std::u16string_view head) { return Escape(head, true); }

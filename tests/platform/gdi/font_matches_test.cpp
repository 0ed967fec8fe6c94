// fontconfig's answers kept between runs: used while every input still holds, never when one
// changed or the file is damaged or out of place, and drawing the same faces fontconfig would
// choose; and a word to the user when there is no font at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/gdi/font.h"
#include "platform/gdi/font_matches.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"

namespace fs = std::filesystem;
using platform::gdi::fonts::LoadMatches;
using platform::gdi::fonts::MatchAnswer;
using platform::gdi::fonts::MatchQuery;
using platform::gdi::fonts::MatchStore;
using platform::gdi::fonts::SaveMatches;

namespace {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "velmor-matches-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void Write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const MatchQuery kQuery{"Velmor Sans", 80, false};
const MatchAnswer kAnswer{"/fonts/face.ttc", 2, "Face JP", 80, false, true};

// kAnswer drawn from `file`.
MatchAnswer AnswerFrom(const fs::path& file) {
  MatchAnswer answer = kAnswer;
  answer.file = file.string();
  return answer;
}

TEST(MatchStoreTest, AnswersHoldOnlyWhileEverySourceIsAsItWas) {
  TempFolder temp;
  const fs::path source = temp.path() / "fonts.conf";
  const fs::path store = temp.path() / "cache" / "velmor" / "matches";  // folders made on save
  const fs::path font = temp.path() / "face.ttc";
  Write(source, "<fontconfig/>");
  Write(font, "a font");
  setenv("VELMOR_MATCHES_TEST", "one", 1);

  MatchStore saved;
  saved.Put(kQuery, AnswerFrom(font));
  saved.StampSources({source.string(), (temp.path() / "absent.conf").string(), "$VELMOR_MATCHES_TEST", font.string()});
  ASSERT_TRUE(SaveMatches(store.string(), saved));
  const MatchStore loaded = LoadMatches(store.string());
  ASSERT_NE(loaded.Find(kQuery), nullptr);
  EXPECT_EQ(*loaded.Find(kQuery), AnswerFrom(font));
  EXPECT_EQ(LoadMatches(store.string()).Find(MatchQuery{"Velmor Sans", 200, false}), nullptr);
  const auto answers = [&] { return LoadMatches(store.string()).Find(kQuery) != nullptr; };

  setenv("VELMOR_MATCHES_TEST", "two", 1);
  EXPECT_FALSE(answers()) << "a variable that places the configuration changed";
  setenv("VELMOR_MATCHES_TEST", "one", 1);
  ASSERT_TRUE(answers());

  Write(temp.path() / "absent.conf", "<fontconfig/>");
  EXPECT_FALSE(answers()) << "a configuration file appeared";
  fs::remove(temp.path() / "absent.conf");
  ASSERT_TRUE(answers());

  Write(source, "<fontconfig><dir>/elsewhere</dir></fontconfig>");
  EXPECT_FALSE(answers()) << "a configuration file changed";
  unsetenv("VELMOR_MATCHES_TEST");
}

TEST(MatchStoreTest, DamagedOrForeignTextAnswersNothing) {
  MatchStore store;
  store.Put(kQuery, kAnswer);
  store.Put(MatchQuery{"Tab\tFamily", 80, false}, kAnswer);  // cannot be written: not kept
  store.Put(MatchQuery{"Other", 80, false}, MatchAnswer{"/fonts/line\nbreak.ttf", 0, "X", 80, false, false});
  store.StampSources({kAnswer.file});
  auto parsed = MatchStore::Parse(store.Serialize());
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed->Find(kQuery), kAnswer);
  EXPECT_EQ(parsed->Find(MatchQuery{"Tab\tFamily", 80, false}), nullptr);
  EXPECT_EQ(parsed->Find(MatchQuery{"Other", 80, false}), nullptr);

  const std::string header = "velmor font matches 1\nsource\t-\t/fonts/face.ttc\n";
  const std::string answer = "answer\tVelmor Sans\t80\t0\t/fonts/face.ttc\t2\tFace JP\t80\t0\t1\n";
  ASSERT_TRUE(MatchStore::Parse(header + answer).has_value());
  for (const std::string& damaged : {
           std::string(""),
           "velmor font matches 2\n" + answer,                                  // another version
           header + answer.substr(0, answer.size() - 1),                         // cut short
           header + "answer\tVelmor Sans\t80\t0\t/fonts/face.ttc\t2\tFace JP\t80\t0\n",  // a field missing
           header + "answer\tVelmor Sans\t8x\t0\t/fonts/face.ttc\t2\tFace JP\t80\t0\t1\n",
           header + "answer\tVelmor Sans\t80\t0\t/fonts/face.ttc\t-1\tFace JP\t80\t0\t1\n",
           header + "answer\tVelmor Sans\t80\t2\t/fonts/face.ttc\t2\tFace JP\t80\t0\t1\n",
           header + "answer\tVelmor Sans\t80\t0\t\t2\tFace JP\t80\t0\t1\n",      // no file
           header + "source\t\t/etc/fonts\n",
           header + "sauce\t-\t/etc/fonts\n",
           "velmor font matches 1\n" + answer,  // its font not stamped: it could be a pipe
           header + "source\t=x\t$HOME\n" + "answer\tVelmor Sans\t80\t0\t$HOME\t2\tFace JP\t80\t0\t1\n",  // no path
           header + answer + std::string(300 * 1024, 'x') + "\n",              // far too long
       }) {
    EXPECT_FALSE(MatchStore::Parse(damaged).has_value()) << damaged.substr(0, 120);
  }
}

// Whatever lies at the store's place, a start neither hangs nor opens a font that is no regular
// file, and a save writes through nothing planted there (in a child process: a load that waits on
// a pipe never comes back).
void LoadAndSaveWhateverLiesThere(const fs::path& folder) {
  alarm(10);
  std::string failures;
  const fs::path store = folder / "font-matches";
  const fs::path font = folder / "face.ttc";
  const fs::path pipe = folder / "pipe.ttc";
  const fs::path victim = folder / "victim";
  Write(font, "a font");
  mkfifo(pipe.c_str(), 0600);
  Write(victim, "keep");
  MatchStore good;
  good.Put(kQuery, AnswerFrom(font));
  good.StampSources({font.string()});
  MatchStore fromPipe;
  fromPipe.Put(kQuery, AnswerFrom(pipe));
  fromPipe.StampSources({pipe.string()});
  const struct {
    const char* what;
    std::function<void()> place;
  } cases[] = {
      {"a pipe", [&] { mkfifo(store.c_str(), 0600); }},
      {"a link to a good store",
       [&] {
         SaveMatches(font.string() + ".store", good);
         fs::create_symlink(font.string() + ".store", store);
       }},
      {"an answer drawn from a pipe", [&] { SaveMatches(store.string(), fromPipe); }},
      {"a link to another file", [&] { fs::create_symlink(victim, store); }},
      {"a hard link at a temporary name known in advance",
       [&] { fs::create_hard_link(victim, store.string() + "." + std::to_string(getpid()) + ".tmp"); }},
  };
  for (const auto& c : cases) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path() != font && entry.path() != pipe && entry.path() != victim) fs::remove_all(entry.path());
    }
    c.place();
    const bool ignored = LoadMatches(store.string()).Find(kQuery) == nullptr;
    const bool saved = SaveMatches(store.string(), good) && LoadMatches(store.string()).Find(kQuery) != nullptr;
    const bool kept = Read(victim) == "keep";
    if (!ignored || !saved || !kept) {
      failures += std::string(c.what) + (ignored ? "" : ": answered") + (saved ? "" : ": not saved") +
                  (kept ? "" : ": written through") + "\n";
    }
  }
  std::fputs(failures.c_str(), stderr);
  std::_Exit(failures.empty() ? 0 : 1);
}

TEST(MatchStoreTest, WhateverLiesAtTheStoresPlaceIsNeitherWaitedOnNorWrittenThrough) {
  GTEST_FLAG_SET(death_test_style, "fast");
  TempFolder temp;
  EXPECT_EXIT(LoadAndSaveWhateverLiesThere(temp.path()), testing::ExitedWithCode(0), "");
}

// With no font at all the window has no text, and the user is told so once (in a fresh process
// of its own, so that fontconfig reads only the empty configuration).
TEST(FontMatchesTest, NoFontAtAllIsSaidOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempFolder temp;
  const fs::path config = temp.path() / "fonts.conf";
  Write(config, "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n");
  const auto realizeTwice = [&config] {
    setenv("FONTCONFIG_FILE", config.c_str(), 1);
    LOGFONTW lf{};
    lf.lfHeight = -12;
    const bool none = platform::gdi::fonts::Realize(lf) == nullptr && platform::gdi::fonts::Realize(lf) == nullptr;
    fs::remove_all(config.parent_path());  // the child's own folder: no destructor runs here
    std::_Exit(none ? 0 : 1);
  };
  EXPECT_EXIT(realizeTwice(), testing::ExitedWithCode(0), "^[^\n]*: no usable font:[^\n]*\n$");
}

// A font made and released again, so that the next one is realized afresh.
platform::gdi::fonts::FaceInfo FaceOf(const std::u16string& family, char32_t c) {
  LOGFONTW lf{};
  lf.lfHeight = -13;
  std::copy(family.begin(), family.end(), lf.lfFaceName);
  HFONT font = CreateFontIndirectW(&lf);
  auto object = platform::gdi::detail::LookupAs<platform::gdi::detail::FontObject>(font, platform::gdi::detail::Kind::Font);
  platform::gdi::fonts::FaceInfo face = platform::gdi::fonts::FaceFor(*object->font, c);
  object.reset();
  DeleteObject(font);
  return face;
}

TEST(FontMatchesTest, ALaterRunDrawsWithTheRememberedFacesUntilAnInputChanges) {
  TempFolder temp;
  const std::string store = (temp.path() / "font-matches").string();
  platform::gdi::fonts::RememberMatchesIn(store);
  const std::size_t asked = platform::gdi::fonts::FontconfigMatchCount();
  const auto first = FaceOf(u"Velmor Remembered Sans", U'設');
  ASSERT_FALSE(first.file.empty());
  EXPECT_EQ(platform::gdi::fonts::FontconfigMatchCount(), asked + 1);
  ASSERT_TRUE(fs::exists(store));

  // The next run: the same face, and fontconfig not asked.
  platform::gdi::fonts::RememberMatchesIn(store);
  const auto again = FaceOf(u"Velmor Remembered Sans", U'設');
  EXPECT_EQ(again.file, first.file);
  EXPECT_EQ(again.index, first.index);
  EXPECT_EQ(again.family, first.family);
  EXPECT_EQ(platform::gdi::fonts::FontconfigMatchCount(), asked + 1);

  // A character the remembered face lacks still finds a face that has it.
  platform::gdi::fonts::RememberMatchesIn(store);
  const auto hebrew = FaceOf(u"Velmor Remembered Sans", U'\u05D0');
  if (hebrew.file == first.file) GTEST_SKIP() << "the matched face has Hebrew itself";
  EXPECT_NE(hebrew.family, first.family);

  // Where the user's fonts would be has moved: the next run asks fontconfig again.
  const char* oldData = std::getenv("XDG_DATA_HOME");
  const std::string saved = oldData != nullptr ? oldData : "";
  setenv("XDG_DATA_HOME", temp.path().c_str(), 1);
  platform::gdi::fonts::RememberMatchesIn(store);
  const std::size_t before = platform::gdi::fonts::FontconfigMatchCount();
  FaceOf(u"Velmor Remembered Sans", U'設');
  EXPECT_EQ(platform::gdi::fonts::FontconfigMatchCount(), before + 1);
  if (oldData != nullptr) setenv("XDG_DATA_HOME", saved.c_str(), 1); else unsetenv("XDG_DATA_HOME");
  platform::gdi::fonts::RememberMatchesIn("");
}

}  // namespace

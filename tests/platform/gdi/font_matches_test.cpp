// fontconfig's answers kept between runs, and a word to the user when there is no font at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/gdi/font_matches.h"
#include "tests/platform/gdi/canvas.h"

namespace velmor::test {
namespace {

namespace fs = std::filesystem;
using namespace platform::gdi::fonts;

struct TempFolder {
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "velmor-matches-XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempFolder() { fs::remove_all(path); }
  fs::path path;
};

void Write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

const MatchQuery kQuery{"Velmor Sans", 80, false};
MatchAnswer AnswerFrom(const fs::path& file) { return MatchAnswer{file.string(), 2, "Face JP", 80, false, true}; }

TEST(MatchStore, AnswersHoldOnlyWhileEverySourceIsAsItWas) {
  TempFolder temp;
  const fs::path source = temp.path / "fonts.conf", absent = temp.path / "absent.conf", font = temp.path / "face.ttc";
  const std::string store = (temp.path / "cache" / "velmor" / "matches").string();  // folders made on save
  Write(source, "<fontconfig/>");
  Write(font, "a font");
  setenv("VELMOR_MATCHES_TEST", "one", 1);
  MatchStore saved;
  saved.Put(kQuery, AnswerFrom(font));
  saved.StampSources({source.string(), absent.string(), "$VELMOR_MATCHES_TEST", font.string()});
  ASSERT_TRUE(SaveMatches(store, saved));
  ASSERT_NE(LoadMatches(store).Find(kQuery), nullptr);
  EXPECT_EQ(*LoadMatches(store).Find(kQuery), AnswerFrom(font));
  const std::pair<const char*, std::function<void(bool)>> changes[] = {
      {"a variable that places the configuration", [](bool undo) { setenv("VELMOR_MATCHES_TEST", undo ? "one" : "two", 1); }},
      {"a configuration file changed", [&](bool undo) { Write(source, undo ? "<fontconfig/>" : "<fontconfig><dir>/x</dir></fontconfig>"); }},
  };
  for (const auto& [what, change] : changes) {
    change(false);
    EXPECT_EQ(LoadMatches(store).Find(kQuery), nullptr) << what;
    change(true);
  }
  unsetenv("VELMOR_MATCHES_TEST");
}

// A well-formed answer whose font file is not stamped could name a pipe planted since (fuzzing
// sees only whether what is accepted reads back the same).
TEST(MatchStore, AnUnstampedFontAnswersNothing) {
  const std::string answer = "answer\tVelmor Sans\t80\t0\t/fonts/face.ttc\t2\tFace JP\t80\t0\t1\n";
  ASSERT_TRUE(MatchStore::Parse("velmor font matches 1\nsource\t-\t/fonts/face.ttc\n" + answer));
  EXPECT_FALSE(MatchStore::Parse("velmor font matches 1\n" + answer));
}

// Whatever lies at the store's place, a start neither hangs nor opens a font that is no regular
// file, and a save writes through nothing planted there (in a child process: a load that waits on
// a pipe never comes back).
void LoadAndSaveWhateverLiesThere(const fs::path& folder) {
  alarm(10);
  const fs::path store = folder / "font-matches", font = folder / "face.ttc", pipe = folder / "pipe.ttc", victim = folder / "victim";
  Write(font, "a font");
  mkfifo(pipe.c_str(), 0600);
  Write(victim, "keep");
  MatchStore good, fromPipe;
  good.Put(kQuery, AnswerFrom(font));
  good.StampSources({font.string()});
  fromPipe.Put(kQuery, AnswerFrom(pipe));
  fromPipe.StampSources({pipe.string()});
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"a pipe", [&] { mkfifo(store.c_str(), 0600); }},
      {"an answer drawn from a pipe", [&] { SaveMatches(store.string(), fromPipe); }},
      {"a link to another file", [&] { fs::create_symlink(victim, store); }},
  };
  std::string failures;
  for (const auto& [what, place] : cases) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path() != font && entry.path() != pipe && entry.path() != victim) fs::remove_all(entry.path());
    }
    place();
    if (LoadMatches(store.string()).Find(kQuery)) failures += std::string(what) + ": answered\n";
    if (!SaveMatches(store.string(), good) || !LoadMatches(store.string()).Find(kQuery)) failures += std::string(what) + ": not saved\n";
    if (std::ifstream(victim).get() != 'k') failures += std::string(what) + ": written through\n";
  }
  std::fputs(failures.c_str(), stderr);
  std::_Exit(failures.empty() ? 0 : 1);
}

TEST(MatchStore, WhateverLiesAtTheStoresPlaceIsNeitherWaitedOnNorWrittenThrough) {
  GTEST_FLAG_SET(death_test_style, "fast");
  TempFolder temp;
  EXPECT_EXIT(LoadAndSaveWhateverLiesThere(temp.path), testing::ExitedWithCode(0), "");
}

// The store's folder must be the user's own and closed to others, as a shared cache place (/tmp)
// lets another user put a link or a folder of theirs there: nothing in it is read or written.
TEST(MatchStore, AFolderThatIsNotTheUsersPrivateOneIsNeitherReadNorWritten) {
  TempFolder temp;
  const fs::path font = temp.path / "face.ttc", real = temp.path / "real", link = temp.path / "link";
  Write(font, "a font");
  MatchStore good;
  good.Put(kQuery, AnswerFrom(font));
  good.StampSources({font.string()});
  const std::pair<const char*, std::function<fs::path()>> folders[] = {
      {"a link to a private folder", [&] { return fs::create_symlink(real, link), link; }},
      {"another user's folder", [&] { return chown(real.c_str(), 65534, 65534) == 0 ? real : fs::path(); }},
  };
  for (const auto& [what, make] : folders) {
    fs::remove(link);
    fs::remove_all(real);
    ASSERT_TRUE(SaveMatches((real / "font-matches").string(), good));
    const fs::path folder = make();
    if (folder.empty()) continue;  // only root can give a folder away
    EXPECT_EQ(LoadMatches((folder / "font-matches").string()).Find(kQuery), nullptr) << what;
    fs::remove(real / "font-matches");
    EXPECT_FALSE(SaveMatches((folder / "font-matches").string(), good)) << what;
  }
}

// In a fresh process of its own, so that fontconfig reads only the empty configuration.
TEST(FontMatches, NoFontAtAllIsSaidOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempFolder temp;
  const fs::path config = temp.path / "fonts.conf";
  Write(config, "<?xml version=\"1.0\"?><fontconfig></fontconfig>\n");
  const auto realizeTwice = [&config] {
    setenv("FONTCONFIG_FILE", config.c_str(), 1);
    LOGFONTW lf{};
    lf.lfHeight = -12;
    const bool none = Realize(lf) == nullptr && Realize(lf) == nullptr;
    fs::remove_all(config.parent_path());  // the child's own folder: no destructor runs here
    std::_Exit(none ? 0 : 1);
  };
  EXPECT_EXIT(realizeTwice(), testing::ExitedWithCode(0), "^[^\n]*: no usable font:[^\n]*\n$");
}

// A font made and released again, so that the next one is realized afresh.
FaceInfo FaceOf(char32_t c) { return Font(-13, FW_NORMAL, u"Velmor Remembered Sans").FaceFor(c); }

TEST(FontMatches, ALaterRunDrawsWithTheRememberedFacesAndFindsOthersForWhatTheyLack) {
  TempFolder temp;
  const std::string store = (temp.path / "font-matches").string();
  const auto run = [&store](char32_t c, std::size_t asks) {  // a start: its first face, and fontconfig's answers
    RememberMatchesIn(store);
    const std::size_t before = FontconfigMatchCount();
    FaceInfo face = FaceOf(c);
    EXPECT_EQ(FontconfigMatchCount() - before, asks);
    return face;
  };
  const FaceInfo first = run(U'設', 1);
  ASSERT_FALSE(first.file.empty());
  const FaceInfo again = run(U'設', 0);
  EXPECT_EQ(std::tie(again.file, again.index, again.family), std::tie(first.file, first.index, first.family));
  // A character the remembered face lacks still finds a face that has it.
  RememberMatchesIn(store);
  const FaceInfo hebrew = FaceOf(U'\u05D0');
  EXPECT_TRUE(hebrew.file == first.file || hebrew.family != first.family);
  RememberMatchesIn("");
}

}  // namespace
}  // namespace velmor::test

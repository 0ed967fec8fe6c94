// fontconfig's answers to font descriptions, remembered in a file between runs.
//
// Loading fontconfig's configuration and caches costs several milliseconds and about a megabyte
// before the first character can be drawn, on every start, for answers that rarely change. The
// file keeps each answer with a stamp of every input fontconfig read to give it (configuration
// files and their folders, font folders, cache folders, the environment that places them, the
// answering font files); a later start uses the answers only while every stamp still holds.
#pragma once

#include <compare>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::gdi::fonts {

// What was asked: a family (possibly empty or not installed), a fontconfig weight, a slant.
struct MatchQuery {
  std::string family;
  int fcWeight = 0;
  bool italic = false;
  auto operator<=>(const MatchQuery&) const = default;
};

// What fontconfig answered: the face to draw with.
struct MatchAnswer {
  std::string file;
  int index = 0;
  std::string family;
  int fcWeight = 0;
  bool italic = false;
  bool emboldenAsked = false;
  bool operator==(const MatchAnswer&) const = default;
};

class MatchStore {
 public:
  const MatchAnswer* Find(const MatchQuery& query) const;
  // Texts with a tab or a line break cannot be kept; such an answer is not remembered.
  void Put(const MatchQuery& query, const MatchAnswer& answer);
  void Forget(const MatchQuery& query) { answers_.erase(query); }
  std::vector<std::string> AnswerFiles() const;

  // Stamps every source as it is now: files and folders ("/etc/fonts/conf.d") or environment
  // variables ("$HOME"). The file of every answer must be among them, or the store cannot be
  // read back.
  void StampSources(const std::vector<std::string>& sources);
  // True when every stamped source is as it was stamped, and every answer's file is a regular one.
  bool Current() const;

  std::string Serialize() const;
  // Null for text that is not a store of this version, damaged or cut short, or with an answer
  // whose file it does not stamp.
  static std::optional<MatchStore> Parse(std::string_view text);

 private:
  std::map<MatchQuery, MatchAnswer> answers_;
  std::vector<std::pair<std::string, std::string>> sources_;  // source, stamp
};

// The store in `path` when it is a regular file (not a link), intact and current; otherwise an
// empty one.
MatchStore LoadMatches(const std::string& path);
// Replaces `path` at once (a reader sees the old store or the new, never a mix), making its
// folder when needed.
bool SaveMatches(const std::string& path, const MatchStore& store);

}  // namespace platform::gdi::fonts

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

// The state of one input: a file or folder ("/etc/fonts/conf.d"), or an environment variable
// ("$HOME"). Two stamps are equal while the input is unchanged.
std::string StampOf(const std::string& source);

class MatchStore {
 public:
  const MatchAnswer* Find(const MatchQuery& query) const;
  // Texts with a tab or a line break cannot be kept; such an answer is not remembered.
  void Put(const MatchQuery& query, const MatchAnswer& answer);
  void Forget(const MatchQuery& query) { answers_.erase(query); }
  std::size_t size() const { return answers_.size(); }
  std::vector<std::string> AnswerFiles() const;

  // Stamps every source as it is now.
  void StampSources(const std::vector<std::string>& sources);
  // True when every stamped source is as it was stamped.
  bool Current() const;

  std::string Serialize() const;
  // Null for text that is not a store of this version, damaged or cut short.
  static std::optional<MatchStore> Parse(std::string_view text);

 private:
  std::map<MatchQuery, MatchAnswer> answers_;
  std::vector<std::pair<std::string, std::string>> sources_;  // source, stamp
};

// The store in `path` when it is readable, intact and current; otherwise an empty one.
MatchStore LoadMatches(const std::string& path);
// Replaces `path` at once (a reader sees the old store or the new, never a mix), making its
// folder when needed.
bool SaveMatches(const std::string& path, const MatchStore& store);

}  // namespace platform::gdi::fonts

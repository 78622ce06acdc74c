#ifndef APP_RUN_RECORD_H_
#define APP_RUN_RECORD_H_

#include <ctime>
#include <string>
#include <vector>

#include "retrieval/crawl_observer.h"

// What one run did, kept as one line in the user's state folder so that a
// run that changed nothing can say why afterwards (wallpaper-fetcher
// --status). The run itself stays as silent as ever: nothing here is traced
// or shown, and a state folder that cannot be written costs the run nothing.
struct RunRecord {
  std::string config;  // the configuration file, "" when none was found
  // The configuration named on the command line when it was not found and
  // `config` was read instead; "" otherwise.
  std::string named_not_found;
  int site = 0;           // the site chosen, 0 before the choice
  std::string site_name;  // its Name=
  // Set when a picture was taken: its URL and file, whether the desktop was
  // asked (not with NotMakeAWallpaper), and what it made of it ("" when it
  // took it, else why not).
  bool taken = false;
  std::string url;
  std::string file;
  bool desktop_asked = false;
  std::string desktop;
  // What the desktop did to get there (WallpaperOutcome::notes).
  std::vector<std::string> desktop_notes;
  // Nobody saw it (no graphical session): its URL was not remembered, so a
  // later run may take it.
  bool kept = false;
  // Why the last attempt failed, in plain words; the first failure of the
  // attempt is kept (later ones follow from it).
  std::string reason;
  // A picture was taken but its URL could not be remembered.
  std::string history_error;
  // The run ended in a fatal error whose box is a window: it closes by
  // itself after this many minutes (0: no such box).
  int box_minutes = 0;
  // That box could not be shown after all: its message went to standard
  // error (where a timer's service keeps it in the journal).
  bool box_failed = false;
};

// The line for `record`, made at `now` (local time), without a line end.
std::string FormatRunLine(const RunRecord& record, std::time_t now);

// The line of a start that gave way at `now` to the copy of `program` that
// runs as process `pid` (0: unknown), started at `started` (0: unknown).
std::string FormatGaveWayLine(const std::string& program, unsigned long pid, std::time_t started,
                              std::time_t now);

// How many runs the state file keeps.
constexpr int kRunsKept = 100;

// Appends `line` to the runs file in `dir` (created when missing), keeping
// the last kRunsKept lines. Failures are ignored: false says there was one.
bool AppendRunLine(const std::string& dir, const std::string& line);

// Puts `line` in place of the last line of the runs file in `dir` that is
// `old_line` (as AppendRunLine wrote it), when one is still kept; false
// when there is none or the file could not be written.
bool ReplaceRunLine(const std::string& dir, const std::string& old_line, const std::string& line);

// A run's crawl observer: hears what a run's crawl does and keeps account
// of it in `record`: what was taken and, when an attempt failed, why. It
// changes nothing in the crawl.
class RunRecorder final : public CrawlObserver {
 public:
  explicit RunRecorder(RunRecord& record) : record_(record) {}

  // A new attempt begins: the reasons of the earlier one are forgotten.
  void BeginAttempt() { reason_in_attempt_ = false; }
  // Notes why the current attempt failed, unless a reason was noted since
  // the attempt began (the first cause, not its consequences).
  void NoteFailure(const std::string& reason);
  // The run ends in an error box that closes by itself after `minutes`.
  void NoteErrorBox(int minutes) { record_.box_minutes = minutes; }

  void OnFetch(const FetchRecord& fetch) override;
  void OnLocalLinkRefused(const std::string& url) override;
  void OnExpressionError(int step, bool compiling, const std::string& what, long) override;
  void OnLinks(int step, const std::vector<std::string>& links, int picked) override;
  void OnLinkInHistory(int new_links, int links) override;
  void OnPictureName(const std::string& url, const std::string& file_name) override;
  void OnPictureInHistory() override;
  void OnPicture(const PictureRecord& picture) override;
  void OnPictureTaken(const std::string& url, const std::string& file, bool desktop_asked) override;
  void OnWallpaper(const WallpaperOutcome& outcome) override;
  void OnPictureKept() override;
  void OnHistorySaved(const Outcome& saved) override;

 private:
  // " (HTTP 404, text/html)" for the answer to the fetch made last, "" when
  // there was none (a file, a failed connection).
  std::string LastAnswer() const;

  RunRecord& record_;
  bool reason_in_attempt_ = false;
  std::string last_url_;  // the page fetched last
  InternetSession::Details last_answer_;
  std::string bitmap_error_;  // why Walp.bmp could not be written
};

// The text --status prints: the runs kept, oldest first, or a sentence that
// says there are none yet.
std::string RunStatusText(const std::string& dir);

#endif  // APP_RUN_RECORD_H_

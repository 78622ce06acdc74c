#include "app/run_record.h"

#include <vector>

#include "picture/picture_refusal.h"
#include "platform/filesystem/filesystem.h"
#include "platform/filesystem/text_file.h"
#include "platform/filesystem/user_files.h"

namespace {

std::string RunsFile(const std::string& dir) { return dir + "runs.log"; }

// The last `count` lines of `text` (each ending in LF).
std::string LastLines(const std::string& text, int count) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start + 1));
    start = end + 1;
  }
  std::string kept;
  for (size_t i = lines.size() > static_cast<size_t>(count) ? lines.size() - count : 0;
       i < lines.size(); ++i) {
    kept += lines[i];
  }
  return kept;
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::string LocalTime(std::time_t time) {
  char when[32] = "";
  if (const std::tm* local = std::localtime(&time)) {
    std::strftime(when, sizeof(when), "%Y-%m-%d %H:%M:%S", local);
  }
  return when;
}

}  // namespace

std::string FormatRunLine(const RunRecord& record, std::time_t now) {
  std::string line = LocalTime(now) + "  ";
  line += record.config.empty() ? "(no configuration)" : record.config;
  if (!record.named_not_found.empty()) {
    line += " (" + record.named_not_found + " was not found; this one was read instead)";
  }
  if (record.site > 0) {
    line += "  site " + std::to_string(record.site);
    if (!record.site_name.empty()) line += " \"" + record.site_name + "\"";
  }
  if (record.taken) {
    line += ": took " + record.url + " as " + record.file + "; ";
    if (!record.desktop_asked) {
      line += "not made the wallpaper (NotMakeAWallpaper=1)";
    } else if (record.desktop.empty()) {
      line += "the desktop took it";
    } else if (record.kept) {
      line += "not shown: " + record.desktop + "; kept for a later run";
    } else {
      line += "no desktop took it: " + record.desktop;
    }
    std::string notes;
    for (const std::string& note : record.desktop_notes)
      notes += (notes.empty() ? "" : "; ") + note;
    if (!notes.empty()) line += " [" + notes + "]";
    if (!record.history_error.empty()) {
      line += "; the history could not be saved: " + record.history_error;
    }
  } else {
    line += ": nothing changed: " + (record.reason.empty() ? "no attempt was made" : record.reason);
  }
  if (record.box_failed) {
    line += "; no error box could be shown, the message went to standard error";
  } else if (record.box_minutes > 0) {
    line += "; shown in an error box that closes by itself after " +
            std::to_string(record.box_minutes) + " minutes";
  }
  return OneLine(line);
}

std::string FormatGaveWayLine(const std::string& program, unsigned long pid, std::time_t started,
                              std::time_t now) {
  std::string line = LocalTime(now) + "  gave way at once: another copy of " + program + " runs";
  if (pid != 0) line += " (process " + std::to_string(pid) + ")";
  line += started != 0 ? ", started " + LocalTime(started) : ", started at an unknown time";
  return OneLine(line + "; nothing was done");
}

bool AppendRunLine(const std::string& dir, const std::string& line) {
  if (dir.empty() || !MakeDirectories(dir).ok()) return false;
  bool written = false;
  // Starts that give way write while the running copy may write its own
  // line: one after the other, so that none is lost.
  WithFileLock(RunsFile(dir) + ".lock", [&] {
    std::string text;
    ReadTextModeFile(RunsFile(dir), &text, 1 << 20);  // a missing or odd file starts anew
    if (!text.empty() && text.back() != '\n') text += '\n';
    text = LastLines(text + OneLine(line) + "\n", kRunsKept);
    written = WriteTextModeFileAtomically(RunsFile(dir), text).ok();
  });
  return written;
}

bool ReplaceRunLine(const std::string& dir, const std::string& old_line, const std::string& line) {
  if (dir.empty()) return false;
  bool written = false;
  WithFileLock(RunsFile(dir) + ".lock", [&] {
    std::string text;
    if (!ReadTextModeFile(RunsFile(dir), &text, 1 << 20)) return;
    // Runs that gave way may have added their lines since.
    const std::string old_text = OneLine(old_line) + "\n";
    size_t at = text.rfind(old_text);
    while (at != std::string::npos && at != 0 && text[at - 1] != '\n')
      at = text.rfind(old_text, at - 1);
    if (at == std::string::npos) return;
    text.replace(at, old_text.size(), OneLine(line) + "\n");
    written = WriteTextModeFileAtomically(RunsFile(dir), text).ok();
  });
  return written;
}

void RunRecorder::NoteFailure(const std::string& reason) {
  if (reason_in_attempt_) return;
  reason_in_attempt_ = true;
  record_.reason = reason;
}

std::string RunRecorder::LastAnswer() const {
  if (last_answer_.status == 0) return "";
  std::string answer = " (HTTP " + std::to_string(last_answer_.status);
  if (!last_answer_.content_type.empty()) answer += ", " + last_answer_.content_type;
  return answer + ")";
}

void RunRecorder::OnFetch(const FetchRecord& fetch) {
  last_url_ = fetch.url;
  last_answer_ = fetch.details;
  std::string reason;
  switch (fetch.result) {
    case kDownloadTimedOut:
      reason = "no complete answer from " + fetch.url + " within SecondsToDownload";
      break;
    case kDownloadNoFile:
      reason = "no file object for " + fetch.url + " (its scheme is not supported)";
      break;
    case kDownloadFailed:
      reason = "fetching " + fetch.url + " failed";
      if (!fetch.details.error.empty()) reason += ": " + fetch.details.error;
      break;
    case 0:
      reason = fetch.url + " sent nothing" + LastAnswer();
      break;
    default:
      return;
  }
  NoteFailure(reason);
}

void RunRecorder::OnLocalLinkRefused(const std::string& url) {
  NoteFailure("a web page led to this machine's file " + url + ", which is refused");
}

void RunRecorder::OnExpressionError(int step, bool compiling, const std::string& what, long) {
  NoteFailure(std::string(compiling ? "the expression of step " : "the search of step ") +
              std::to_string(step) + (compiling ? " cannot be compiled: " : " ended early: ") +
              what);
}

void RunRecorder::OnLinks(int step, const std::vector<std::string>&, int picked) {
  if (picked >= 0) return;
  // An error page is searched like any other: its status says more than
  // its missing links.
  NoteFailure("step " + std::to_string(step) + " found no link in " + last_url_ +
              (last_answer_.status >= 400 ? LastAnswer() : ""));
}

void RunRecorder::OnLinkInHistory(int new_links, int links) {
  NoteFailure(new_links == 0 ? std::string("every link found was already in the history")
                             : std::to_string(new_links) + " of " + std::to_string(links) +
                                   " links are new; the ones drawn were known");
}

void RunRecorder::OnPictureName(const std::string& url, const std::string& file_name) {
  if (file_name.empty()) NoteFailure("the picture's URL " + url + " gives no file name");
}

void RunRecorder::OnPictureInHistory() {
  NoteFailure("the picture picked was already in the history");
}

void RunRecorder::OnPicture(const PictureRecord& picture) {
  bitmap_error_ = picture.bitmap_error;
  if (picture.refusal == PictureRefusal::kNone) return;
  const std::string why =
      DescribePictureRefusal(picture.refusal, picture.format, picture.extension, picture.limit);
  const bool undecodable = picture.refusal == PictureRefusal::kHeaderUnreadable ||
                           picture.refusal == PictureRefusal::kUndecodable;
  // What the server sent in its place: an error page, an HTML page under
  // the picture's name.
  std::string sent;
  if (last_answer_.status != 0) {
    sent = "; the server sent HTTP " + std::to_string(last_answer_.status) +
           (last_answer_.content_type.empty() ? "" : ", " + last_answer_.content_type);
  }
  NoteFailure(undecodable ? "the picture could not be decoded (" + why + sent + ")"
                          : "the picture was refused: " + why);
}

void RunRecorder::OnPictureTaken(const std::string& url, const std::string& file,
                                 bool desktop_asked) {
  record_.taken = true;
  record_.url = url;
  record_.file = file;
  record_.desktop_asked = desktop_asked;
}

void RunRecorder::OnWallpaper(const WallpaperOutcome& outcome) {
  record_.desktop = outcome.failure;
  // The bitmap the desktop was not handed: the system's words for why.
  if (!outcome.failure.empty() && !bitmap_error_.empty()) record_.desktop += ": " + bitmap_error_;
  record_.desktop_notes = outcome.notes;
}

void RunRecorder::OnPictureKept() { record_.kept = true; }

void RunRecorder::OnHistorySaved(const Outcome& saved) {
  if (!saved.ok()) record_.history_error = saved.message();
}

std::string RunStatusText(const std::string& dir) {
  std::string text;
  if (dir.empty() || !ReadTextModeFile(RunsFile(dir), &text, 1 << 20) || text.empty()) {
    return "No run has been recorded yet" + (dir.empty() ? std::string() : " in " + RunsFile(dir)) +
           ".\n";
  }
  if (text.back() != '\n') text += '\n';
  return text;
}

#include "app/check_report.h"

#include "diagnostics/format.h"
#include "picture/formats.h"
#include "picture/picture_refusal.h"

std::string Printable(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      shown += Format("\\x%02x", byte);
    } else {
      shown += c;
    }
  }
  return shown;
}

void SiteReport::OnFetch(const FetchRecord& fetch) {
  std::string line = "  fetch " + Printable(fetch.url) + ": ";
  std::string problem;
  if (fetch.result == kDownloadTimedOut) {
    problem = Format("no complete answer within SecondsToDownload=%ld s", fetch.time_limit);
  } else if (fetch.result < 0) {
    problem = fetch.details.error.empty() ? "the transfer failed" : fetch.details.error;
  } else if (fetch.result == 0) {
    problem = "nothing was received";
  }
  if (fetch.details.status != 0) line += Format("HTTP %ld, ", fetch.details.status);
  if (!fetch.details.content_type.empty()) line += fetch.details.content_type + ", ";
  if (fetch.result >= 0) line += Format("%d bytes, ", fetch.result);
  if (fetch.result < 0) line += "failed: " + problem + ", ";
  line += Format("%.2f s", fetch.seconds);
  lines_.push_back(line);
  last_status_ = fetch.details.status;
  if (fetch.result > 0) fetched_.push_back(fetch.url);
  last_content_type_ = fetch.details.content_type;
  if (!problem.empty()) reason_ = problem;
}

void SiteReport::OnLocalLinkRefused(const std::string& url) {
  lines_.push_back("  fetch " + Printable(url) +
                   ": refused: a page from the web may not lead to a file");
  reason_ = "a page from the web links a file on this machine";
}

void SiteReport::OnStep(int step, const std::string& expression, const std::string&) {
  stage_ = Format("step %d", step);
  step_ = step;
  expression_ = expression;
  lines_.push_back("  " + stage_ + ": expression " + Printable(expression));
}

void SiteReport::OnExpressionError(int, bool compiling, const std::string& what, long position) {
  if (!compiling) {
    lines_.push_back("  " + stage_ + ": the search ended early: " + what);
    reason_ = "the search ended early: " + what;
    return;
  }
  std::string text = "the expression is malformed";
  if (position >= 0) text += Format(" at position %ld", position);
  text += ": " + what;
  lines_.push_back("  " + stage_ + ": " + text);
  if (position >= 0 && static_cast<size_t>(position) <= expression_.size()) {
    const size_t indent = 2 + stage_.size() + std::string(": expression ").size();
    const size_t shown = Printable(expression_.substr(0, static_cast<size_t>(position))).size();
    lines_.push_back(std::string(indent + shown, ' ') + "^");
  }
  reason_ = text;
  expression_broken_ = true;
}

void SiteReport::OnLinks(int, const std::vector<std::string>& links, int picked) {
  if (links.empty()) {
    broken_step_ = step_;
    links_before_break_ = last_links_;
    if (expression_broken_) return;  // said already, with the place of the error
    lines_.push_back("  " + stage_ + ": found no links");
    if (reason_.compare(0, 10, "the search") != 0) {
      reason_ = "the expression found no links";
      if (last_status_ >= 400) reason_ += Format(" (the page came with HTTP %ld)", last_status_);
    }
    return;
  }
  links_before_last_ = last_links_;
  last_links_ = links;
  std::string line =
      "  " + stage_ +
      Format(": found %d link%s", static_cast<int>(links.size()), links.size() == 1 ? "" : "s");
  line += links.size() > 3 ? ", the first three: " : ": ";
  for (size_t i = 0; i < links.size() && i < 3; ++i) line += (i ? ", " : "") + Printable(links[i]);
  lines_.push_back(line);
  lines_.push_back("  " + stage_ + Format(": picked link %d: ", picked + 1) +
                   Printable(links[static_cast<size_t>(picked)]));
}

void SiteReport::OnPictureName(const std::string& url, const std::string& file_name) {
  stage_ = "picture";
  if (file_name.empty()) {
    lines_.push_back("  picture " + Printable(url) + ": no usable file name after the last /");
    reason_ = "no usable file name after the last / of " + Printable(url);
  }
  picture_name_ = Printable(file_name);
}

void SiteReport::OnPictureInHistory() {
  in_history_ = true;
  reason_ = "already in the history (a run refuses it)";
}

void SiteReport::OnPicture(const PictureRecord& picture) {
  std::string line = "  picture " + picture_name_ + ": ";
  if (picture.by_content) {
    line += std::string(PictureFormatName(picture.format)) + " by its content";
    if (!picture.extension.empty()) line += ", not its extension " + picture.extension;
  } else if (picture.extension.empty()) {
    line += "no extension";
  } else {
    line += picture.format < 0 ? "extension " + picture.extension
                               : std::string(PictureFormatName(picture.format)) +
                                     " by its extension " + picture.extension;
  }
  if (picture.size_known) line += Format(", %lldx%lld", picture.width, picture.height);
  std::string refusal =
      DescribePictureRefusal(picture.refusal, picture.format, picture.extension, picture.limit);
  const bool content_refused = picture.refusal == PictureRefusal::kHeaderUnreadable ||
                               picture.refusal == PictureRefusal::kUndecodable;
  if (content_refused && !last_content_type_.empty()) {
    refusal += " (the server sent " + last_content_type_ +
               (last_status_ != 0 ? Format(", HTTP %ld", last_status_) : "") + ")";
  }
  std::vector<std::string> refusals;
  if (in_history_) refusals.push_back("in the history");
  if (!refusal.empty()) refusals.push_back(refusal);
  if (refusals.empty()) {
    line += ", would be taken";
  } else {
    line += ", would be refused: ";
    for (size_t i = 0; i < refusals.size(); ++i) line += (i ? "; " : "") + refusals[i];
  }
  lines_.push_back(line);
  if (!in_history_ && !refusal.empty()) reason_ = refusal;
  // Not a picture at all: the last step leads somewhere else now.
  const bool not_a_picture = picture.refusal == PictureRefusal::kNoExtension ||
                             picture.refusal == PictureRefusal::kUnknownFormat ||
                             picture.refusal == PictureRefusal::kNotAccepted ||
                             picture.refusal == PictureRefusal::kHeaderUnreadable ||
                             picture.refusal == PictureRefusal::kUndecodable;
  if (not_a_picture && step_ > 0) {
    broken_step_ = step_;
    links_before_break_ = links_before_last_;
  }
}

std::string SiteReport::PageBeforeBreak() const {
  if (broken_step_ < 1 || fetched_.size() < static_cast<size_t>(broken_step_)) return "";
  return fetched_[static_cast<size_t>(broken_step_) - 1];
}

void SiteReport::Refuse(const std::string& reason) {
  stage_ = "configuration";
  reason_ = reason;
}

void SiteReport::Print(std::FILE* out, int site, const std::string& name, bool ok) const {
  const std::string verdict =
      ok ? std::string("OK")
         : "FAILED at " + stage_ + ": " + (reason_.empty() ? "the attempt failed" : reason_);
  std::fprintf(out, "Site%d \"%s\": %s\n", site, Printable(name).c_str(), verdict.c_str());
  for (const std::string& line : lines_) std::fprintf(out, "%s\n", line.c_str());
  std::fflush(out);
}

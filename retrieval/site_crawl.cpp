#include <cctype>
#include <cstdio>

#include "app/crt_random.h"
#include "app/diagnostics.h"
#include "app/run_record.h"
#include "app/wallpaper_fetcher.h"
#include "config/config_keys.h"
#include "config/paths.h"
#include "platform/filesystem/filesystem.h"
#include "retrieval/crawl_observer.h"
#include "retrieval/link_extraction.h"

namespace {

// Creates (or empties) the working file; false when it cannot be written.
bool ProbeWorkingFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

// True when a picture's file name would name the save directory itself or
// reach outside it.
bool IsUnsafeFileName(const std::string& name) {
  return name.empty() || name == "." || name == ".." || !IsPlainFileName(name);
}

// True when `url` names a file on this machine (scheme "file", any case).
bool IsLocalFileUrl(const std::string& url) {
  static const char kScheme[] = "file:";
  if (url.size() < sizeof kScheme - 1) return false;
  for (size_t i = 0; i < sizeof kScheme - 1; ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) return false;
  }
  return true;
}

}  // namespace

CrawlObserver& WallpaperFetcher::Observer() {
  static RunRecorder run_observer;
  return m_pCrawlObserver != nullptr ? *m_pCrawlObserver : run_observer;
}

bool WallpaperFetcher::CrawlSite() {
  const std::string strSite = SiteSectionName(m_iSite);
  BeginAttemptRecord();
  if (!m_Ini.SectionExists(strSite)) {
    NoteFailure(Format("there is no [%s] section (NumOfSites=%d)", strSite.c_str(), m_iNumOfSites));
  }
  std::string strUrl = m_Ini.GetValue(strSite, "Begin");
  if (m_yDebug) {
    Trace("m_Ini.GetValue(strSite,\"Name\").data()", m_Ini.GetValue(strSite, "Name"));
    Trace("strUrl.data()", strUrl);
  }
  const std::string strDebugFile =
      MakeFullPath(m_strSavePath + "temp.file", GetProgramDir(), false);
  if (!FetchStartPage(strSite, strUrl, strDebugFile)) return false;
  for (int iStepNumber = 1; m_Ini.KeyExists(strSite, StepKey(iStepNumber, StepPart::kGet));
       ++iStepNumber) {
    if (!CrawlStep(strSite, iStepNumber, strDebugFile, &strUrl)) return false;
  }
  // The file fetched last is the picture.
  return TakePicture(strUrl, strDebugFile);
}

bool WallpaperFetcher::FetchStartPage(const std::string& strSite, const std::string& strUrl,
                                      const std::string& strDebugFile) {
  if (!ProbeWorkingFile(strDebugFile)) {
    if (m_yDebug) {
      Trace("(\"Please, check if this path exists: \"+strDebugFile).data()",
            "Please, check if this path exists: " + strDebugFile);
    }
    FatalError("Can't create temp file, most probably problem with SavePath var in INI file");
  }

  m_lSecondsToDownload = m_Ini.GetIntValue(strSite, "SecondsToDownload");
  if (m_lSecondsToDownload == 0) m_lSecondsToDownload = 120;
  if (m_yDebug) Trace("m_lSecondsToDownload", m_lSecondsToDownload);

  return FetchPage(strUrl, /*bMayBeLocal=*/true, strDebugFile);
}

bool WallpaperFetcher::CrawlStep(const std::string& strSite, int iStepNumber,
                                 const std::string& strDebugFile, std::string* strUrl) {
  if (m_yDebug)
    Trace("Format(\"In step %d.\",iStepNumber).data()", Format("In step %d.", iStepNumber));
  const std::string strRExpression = m_Ini.GetValue(strSite, StepKey(iStepNumber, StepPart::kGet));
  const std::string strRFormatExp = m_Ini.GetValue(strSite, StepKey(iStepNumber, StepPart::kGo));
  if (m_yDebug) {
    Trace("strRExpression.data()", strRExpression);
    Trace("strRFormatExp.data()", strRFormatExp);
  }
  Observer().OnStep(iStepNumber, strRExpression, strRFormatExp);
  if (strRExpression.empty() || strRFormatExp.empty()) return false;

  // A page that cannot be read back (taken away, or too large to search)
  // leaves the step without links.
  std::vector<std::string> vec;
  std::string text;
  if (ReadTextFile(strDebugFile, text))
    vec = CollectLinks(text, strRExpression, strRFormatExp, iStepNumber);
  if (m_yDebug) {
    Trace("Format(\"Found %d links for the step %d\",vec.size(),iStepNumber).data()",
          Format("Found %d links for the step %d", static_cast<int>(vec.size()), iStepNumber));
    for (const std::string& link : vec) Trace("pos->data()", link);
  }
  if (vec.empty()) {
    Observer().OnLinks(iStepNumber, vec, -1);
    if (m_yDebug) {
      Trace("Format(\"No following links were found on step %d\",iStepNumber).data()",
            Format("No following links were found on step %d", iStepNumber));
    }
    return false;
  }

  const int iNextAddress = RandomInRange(0, static_cast<int>(vec.size()) - 1);
  Observer().OnLinks(iStepNumber, vec, iNextAddress);
  // A page from the web may not lead the crawl into this machine's files:
  // their text could leave it in the next step's link.
  const bool bMayBeLocal = IsLocalFileUrl(*strUrl);
  *strUrl = vec[static_cast<size_t>(iNextAddress)];
  if (m_yDebug) {
    Trace("(Format(\"Picked %d : \",iNextAddress)+strUrl).data()",
          Format("Picked %d : ", iNextAddress) + *strUrl);
  }
  // The last step's link is the picture: one already in the history is
  // refused by its URL, before any byte of it is fetched (a check fetches
  // it all the same, to examine it).
  const bool bLastStep = !m_Ini.KeyExists(strSite, StepKey(iStepNumber + 1, StepPart::kGet));
  if (bLastStep && !Observer().IsCheck() && IsInHistory(*strUrl)) {
    NoteFailure(AreAllInHistory(vec) ? "every link found was already in the history"
                                     : "the picture picked was already in the history");
  } else if (!FetchPage(*strUrl, bMayBeLocal, strDebugFile)) {
    return false;
  }
  ShowMessage("Press any key, one step is done");
  return true;
}

bool WallpaperFetcher::FetchPage(const std::string& strUrl, bool bMayBeLocal,
                                 const std::string& strDebugFile) {
  int iRet = 0;
  if (!bMayBeLocal && IsLocalFileUrl(strUrl)) {
    Observer().OnLocalLinkRefused(strUrl);
    ShowMessage("Something wrong while getting remote file");
  } else {
    iRet = DownloadFile(m_szBuffer, kTransferBufferSize, strUrl, strDebugFile);
  }
  if (m_yDebug) Trace("iRet", iRet);
  if (iRet > 0) return true;
  TraceMessage("Noting was recieved from URL");
  return false;
}

bool WallpaperFetcher::TakePicture(const std::string& strUrl, const std::string& strDebugFile) {
  CrawlObserver& observer = Observer();
  m_strLastUrl = strUrl;
  const size_t slash = strUrl.rfind('/');
  const std::string strFileName = slash == std::string::npos ? "" : strUrl.substr(slash + 1);
  if (slash == std::string::npos || IsUnsafeFileName(strFileName)) {
    observer.OnPictureName(strUrl, "");
    ShowMessage("Failure to detect filename of last download");
    return false;
  }
  observer.OnPictureName(strUrl, strFileName);
  m_strWalpFileName = MakeFullPath(m_strSavePath + strFileName, GetProgramDir(), false);
  if (m_yDebug) Trace("m_strWalpFileName.data()", m_strWalpFileName);

  // Ask the history first, so that a picture already taken does not cost the
  // user the earlier copy of a file of that name. A check examines it all
  // the same.
  const bool bInHistory = !IsNotInHistory();
  if (bInHistory) {
    observer.OnPictureInHistory();
    if (!observer.IsCheck()) return false;
  }
  // A picture named like the working file already is where it belongs.
  if (m_strWalpFileName != strDebugFile) {
    if (FileExists(m_strWalpFileName)) {
      TraceMessage("This file already exists, will be replaced by a new one.");
      (void)DeleteFileAt(m_strWalpFileName);
    }
    (void)RenameFile(strDebugFile, m_strWalpFileName);
  }

  // A check converts the picture in its private directory and goes no
  // further: nothing is installed, recorded or deleted.
  if (observer.IsCheck()) return ConvertToBmp() && !bInHistory;
  if (!m_yNotMakeAWallpaper) {
    if (!ConvertToBmp()) return false;
    SetWallpaper();
  }
  RunRecord& record = CurrentRunRecord();
  record.taken = true;
  record.desktop_asked = !m_yNotMakeAWallpaper;
  record.url = m_strLastUrl;
  record.file = m_strWalpFileName;
  AddToHistory();
  DeleteLastDownload();
  ShowMessage("Press any key, all steps are done");
  return true;
}

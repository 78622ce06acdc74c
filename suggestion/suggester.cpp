#include "suggestion/suggester.h"

#include <algorithm>
#include <boost/regex.hpp>
#include <map>
#include <memory>
#include <set>

#include "diagnostics/format.h"
#include "platform/filesystem/text_file.h"
#include "platform/text_case.h"

namespace {

constexpr int kMaxSteps = 3;
constexpr int kProofRuns = 3;
// Smaller than this is a thumbnail, an icon or a pixel: never the answer.
constexpr long long kMinSide = 200;
constexpr long long kMinArea = 120000;
// Requests kept back for the proof and for a second page of each step.
constexpr int kReserve = kProofRuns * (kMaxSteps + 1) + 2;

struct Page {
  std::string url;
  std::string text;
  std::vector<PageLink> links;
};
using PagePtr = std::shared_ptr<const Page>;

// One step of a chain: the page, the links its rule must find there, the
// one followed.
struct Hop {
  PagePtr page;
  std::vector<const PageLink*> wanted;
  std::string followed;
  std::string role;  // for the comments: what the links are
};

struct Chain {
  std::vector<Hop> hops;
  long long width = 0;
  long long height = 0;
  std::vector<std::string> left_out;  // on the start page, for the comments
};

struct Family {
  std::string key;
  std::vector<const PageLink*> links;  // one per address, in page order
};

std::string PathOf(const std::string& url) {
  const size_t scheme = url.find("://");
  const size_t path = scheme == std::string::npos ? 0 : url.find('/', scheme + 3);
  if (path == std::string::npos) return "/";
  return url.substr(path, url.find_first_of("?#", path) - path);
}

bool IsAsset(const std::string& url) {
  static const boost::regex kAsset(
      "\\.(css|js|mjs|json|xml|rss|atom|woff2?|ttf|otf|eot|svg|pdf|zip|mp4|webm|mp3|ogg|m4a|"
      "mov|avi|txt)$",
      boost::regex::perl | boost::regex::icase);
  return boost::regex_search(PathOf(url), kAsset);
}

// The width an address or its srcset descriptor promises, 0 when it
// promises none: what orders the probes and tells the
// picture's siblings from its other sizes.
long long SizeHint(const PageLink& link) {
  static const boost::regex kArea("(?:^|[^0-9])([1-9][0-9]{1,4})x([1-9][0-9]{1,4})(?:[^0-9]|$)");
  static const boost::regex kWidth(
      "(?:[?&](?:w|width|size|resize)=|[/_,]w_|/)([1-9][0-9]{1,4})(?:px-|[&,/]|$)");
  static const boost::regex kDescriptor("^\\s+([1-9][0-9]{1,4})w");
  boost::smatch match;
  if (link.source.find("srcset") != std::string::npos &&
      boost::regex_search(link.after, match, kDescriptor))
    return std::stoll(match[1].str());
  const std::string tail = link.url.substr(
      link.url.rfind('/') == std::string::npos ? 0 : link.url.rfind('/', link.url.find('?')));
  if (boost::regex_search(tail, match, kArea)) return std::stoll(match[1].str());
  if (boost::regex_search(tail, match, kWidth)) return std::stoll(match[1].str());
  return 0;
}

// Links of one kind: where they sit (a link, a picture, a string), their
// host and folders with the numbers left out, the extension and the query's
// keys.
std::string FamilyKey(const PageLink& link) {
  static const boost::regex kDigits("[0-9]+");
  const std::string kind = link.source == "href"      ? "a"
                           : link.source == "string"  ? "s"
                           : link.source == "content" ? "m"
                                                      : "i";
  const size_t scheme = link.url.find("://") + 3;
  const size_t path_at = link.url.find_first_of("/?#", scheme);
  const std::string host = link.url.substr(scheme, path_at - scheme);
  std::string path = PathOf(link.url);
  // A page named by its folder ("/a-post/") is named like a file.
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  const std::string last = path.substr(slash + 1);
  const size_t dot = last.rfind('.');
  std::string shape = boost::regex_replace(path.substr(0, slash + 1), kDigits, "#");
  shape += dot == std::string::npos || last.size() - dot > 6 ? "*" : "*" + Lower(last.substr(dot));
  const size_t query = link.url.find('?');
  if (query != std::string::npos) {
    static const boost::regex kValues("=[^&]*");
    shape += "?" + boost::regex_replace(link.url.substr(query + 1), kValues, "");
  }
  return kind + " " + host + shape;
}

std::vector<Family> Families(const Page& page) {
  std::vector<Family> families;
  std::map<std::string, size_t> index;
  std::set<std::string> seen;
  const std::string self = page.url.substr(0, page.url.find('#'));
  for (const PageLink& link : page.links) {
    const std::string url = link.url.substr(0, link.url.find('#'));
    if (url == self || IsAsset(url) || !seen.insert(link.url).second) continue;
    const std::string key = FamilyKey(link);
    auto [at, added] = index.emplace(key, families.size());
    if (added) families.push_back({key, {}});
    families[at->second].links.push_back(&link);
  }
  return families;
}

// Links whose address says they are decoration: never the answer, and not
// worth a request.
bool IsDecoration(const std::string& url) {
  static const boost::regex kDecoration(
      "icon|logo|avatar|sprite|emoji|badge|banner|button|spinner|placeholder|blank|pixel",
      boost::regex::perl | boost::regex::icase);
  return boost::regex_search(PathOf(url), kDecoration);
}

// The order in which the kinds of links are tried, the bounds being what
// they are: addresses of pictures and of many sibling pages first, those
// that look like full size before those that look like thumbnails.
int Priority(const Family& family) {
  static const boost::regex kPicture("\\.(jpe?g|png|webp|gif|bmp|tiff?)$",
                                     boost::regex::perl | boost::regex::icase);
  static const boost::regex kStrong("download|original|full|file:|wallpaper|large|hires",
                                    boost::regex::perl | boost::regex::icase);
  static const boost::regex kWeak("photo|image|upload|media|gallery|picture",
                                  boost::regex::perl | boost::regex::icase);
  static const boost::regex kThumb(
      "thumb|small|mini|preview|[0-9]px-|-[0-9]{2,3}x[0-9]{2,3}\\.|[?&](w|h|width|height|resize|"
      "size)=[0-9]{2,3}([^0-9]|$)",
      boost::regex::perl | boost::regex::icase);
  const std::string& url = family.links[0]->url;
  const bool picture = boost::regex_search(PathOf(url), kPicture);
  int priority = picture ? 4 : 0;
  if (boost::regex_search(url, kStrong)) priority += 3;
  if (boost::regex_search(url, kWeak)) priority += 1;
  if (family.links.size() >= 2) priority += 1;
  if (!picture && family.links.size() >= 6) priority += 5;
  if (boost::regex_search(url, kThumb)) priority -= 3;
  return priority;
}

std::string Plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

namespace {

// The search for chains from one start page, within the probe's bounds.
class ChainSearch {
 public:
  explicit ChainSearch(WebProbe& probe) : probe_(probe) {}

  // Each address is fetched once.
  const Probed& Get(const std::string& url) {
    auto found = fetched_.find(url);
    if (found == fetched_.end()) found = fetched_.emplace(url, probe_.Fetch(url)).first;
    return found->second;
  }

  PagePtr MakePage(const std::string& url, const Probed& probed) {
    auto page = std::make_shared<Page>();
    page->url = url;
    page->text = FromTextMode(probed.body);
    page->links = FindPageLinks(page->text, url);
    return page;
  }

  bool KnownToFail(const std::string& url) const {
    const auto found = fetched_.find(url);
    return found != fetched_.end() && !found->second.error.empty();
  }

  // Records that a proof went wrong at `url`; false when that was known.
  bool MarkFailed(const std::string& url) {
    if (KnownToFail(url)) return false;
    fetched_[url].error = "a proof went wrong there";
    return true;
  }

  // True when `url` was probed and is a picture smaller than `area`.
  bool KnownSmaller(const std::string& url, long long area) const {
    const auto found = fetched_.find(url);
    return found != fetched_.end() && found->second.IsPicture() &&
           found->second.width * found->second.height < area;
  }

  bool CanProbe() const {
    return probe_.RequestsLeft() > kReserve && probe_.MsLeft() > probe_.limits().fetch_ms / 2;
  }
  bool spent() const { return spent_; }

  // The chains from `page` (at `depth` steps from the start) to pictures.
  std::vector<Chain> FromPage(const PagePtr& page, int depth, std::set<std::string>* keys) {
    std::vector<Chain> chains;
    std::vector<Family> families = Families(*page);
    std::stable_sort(families.begin(), families.end(),
                     [](const Family& a, const Family& b) { return Priority(a) > Priority(b); });
    int pages_followed = 0;
    int probed = 0;
    for (const Family& family : families) {
      if (!CanProbe() || probed >= kMaxProbed[depth]) {
        spent_ = spent_ || !CanProbe();
        Note(depth, family, "not followed (the bounds were kept for the proof)");
        continue;
      }
      ++probed;
      if (IsDecoration(family.links[0]->url)) {
        Note(depth, family, "icons, logos, avatars and the like");
        continue;
      }
      if (keys->count(family.key) != 0) {
        Note(depth, family, "links back to pages of an earlier step");
        continue;
      }
      ProbeFamily(page, depth, family, keys, &pages_followed, &chains);
    }
    return chains;
  }

  std::vector<std::string> start_notes() const {
    std::vector<std::string> notes = start_notes_;
    if (other_kinds_ > 0)
      notes.push_back(Plural(other_links_, "more link", "more links") + " of " +
                      Plural(other_kinds_, "other kind", "other kinds") +
                      ": pages without larger pictures, failures, or not followed");
    return notes;
  }

 private:
  void Note(int depth, const Family& family, const std::string& what) {
    Note(depth, family.links.size(), family.links[0]->url, what);
  }
  // What was left out on the start page, for the comments: pictures one
  // kind a line, the pages and failures counted together past the first few.
  void Note(int depth, size_t count, const std::string& example, const std::string& what) {
    if (depth != 0) return;
    if (start_notes_.size() >= kNotesShown) {
      other_links_ += count;
      ++other_kinds_;
      return;
    }
    start_notes_.push_back(Plural(count, "link", "links") + " like " + PathOf(example) + ": " +
                           what);
  }

  void ProbeFamily(const PagePtr& page, int depth, const Family& family,
                   std::set<std::string>* keys, int* pages_followed, std::vector<Chain>* chains) {
    std::vector<const PageLink*> order = family.links;
    std::stable_sort(order.begin(), order.end(), [](const PageLink* a, const PageLink* b) {
      const long long ha = SizeHint(*a), hb = SizeHint(*b);
      return (ha == 0 ? 1LL << 60 : ha) > (hb == 0 ? 1LL << 60 : hb);
    });
    // A kind of link whose first address fails may hold good ones (a
    // "popular" beside the picture pages): up to three are tried.
    size_t tried = 0;
    while (tried + 1 < order.size() && tried < 2 && !Get(order[tried]->url).error.empty() &&
           CanProbe())
      ++tried;
    if (tried > 0) std::rotate(order.begin(), order.begin() + tried, order.end());
    const Probed& first = Get(order[0]->url);
    if (first.IsPicture()) {
      PictureFamily(page, depth, family, order, chains);
    } else if (first.IsPage() && depth + 1 < kMaxSteps && *pages_followed < kMaxFollowed[depth]) {
      ++*pages_followed;
      keys->insert(family.key);
      PageFamily(page, depth, family, order[0], keys, chains);
      keys->erase(family.key);
    } else if (first.IsPage()) {
      Note(depth, family, "pages not followed further");
    } else {
      Note(depth, family, "they fail: " + first.error);
    }
  }

  void PictureFamily(const PagePtr& page, int depth, const Family& family,
                     const std::vector<const PageLink*>& order, std::vector<Chain>* chains) {
    const PageLink* best = nullptr;
    long long best_area = -1;
    std::set<std::string> sizes;
    const size_t cap = depth == 0 ? 3 : 4;
    for (size_t i = 0; i < order.size() && i < cap && (i == 0 || CanProbe()); ++i) {
      const Probed& probed = Get(order[i]->url);
      if (!probed.IsPicture() || probed.width <= 0) continue;
      sizes.insert(Format("%lldx%lld", probed.width, probed.height));
      if (probed.width * probed.height > best_area) {
        best_area = probed.width * probed.height;
        best = order[i];
      }
    }
    if (best == nullptr) return Note(depth, family, "pictures whose size cannot be read");
    const Probed& picture = Get(best->url);
    if (picture.width < kMinSide || picture.height < kMinSide || best_area < kMinArea) {
      return Note(depth, family,
                  Format("small pictures (%lldx%lld): thumbnails, icons or pixels", picture.width,
                         picture.height));
    }
    Chain chain;
    chain.width = picture.width;
    chain.height = picture.height;
    Hop hop{page, {}, best->url, ""};
    const long long hint = SizeHint(*best);
    for (const PageLink* link : family.links) {
      if (SizeHint(*link) == hint && !KnownToFail(link->url) && !KnownSmaller(link->url, best_area))
        hop.wanted.push_back(link);
    }
    hop.role = Format("the %lldx%lld picture", picture.width, picture.height);
    if (sizes.size() > 1) hop.role += " (the largest of the sizes offered)";
    chain.hops.push_back(hop);
    chains->push_back(chain);
    for (const PageLink* link : family.links) {
      if (SizeHint(*link) == hint) continue;
      Note(depth, family.links.size() - hop.wanted.size(), link->url,
           "other sizes of the same pictures");
      break;
    }
  }

  void PageFamily(const PagePtr& page, int depth, const Family& family, const PageLink* first,
                  std::set<std::string>* keys, std::vector<Chain>* chains) {
    const PagePtr child = MakePage(first->url, Get(first->url));
    std::vector<Chain> below = FromPage(child, depth + 1, keys);
    if (below.empty()) return Note(depth, family, "pages that lead to no large picture");
    std::vector<const PageLink*> wanted;
    for (const PageLink* link : family.links) {
      if (!KnownToFail(link->url)) wanted.push_back(link);
    }
    for (Chain& chain : below) {
      Hop hop{page, wanted, first->url, "pages that lead on"};
      chain.hops.insert(chain.hops.begin(), hop);
      chains->push_back(std::move(chain));
    }
  }

  // Kinds of links looked at on one page, and of those, pages followed.
  static constexpr int kMaxProbed[kMaxSteps] = {24, 8, 4};
  static constexpr int kMaxFollowed[kMaxSteps] = {8, 3, 2};
  WebProbe& probe_;
  std::map<std::string, Probed> fetched_;
  static constexpr size_t kNotesShown = 8;
  std::vector<std::string> start_notes_;
  size_t other_links_ = 0;
  int other_kinds_ = 0;
  bool spent_ = false;
};

}  // namespace

namespace {

// A second page of the step's kind, when the step before offers one: the
// rule is then made from the links of both, so it finds tomorrow's too.
PagePtr SiblingPage(ChainSearch& search, const std::vector<std::string>& urls,
                    const std::string& followed) {
  for (const std::string& url : urls) {
    if (url == followed || search.KnownToFail(url) || !search.CanProbe()) continue;
    const Probed& probed = search.Get(url);
    if (probed.IsPage()) return search.MakePage(url, probed);
    return nullptr;
  }
  return nullptr;
}

PagePtr SiblingPage(ChainSearch& search, const Hop& before) {
  std::vector<std::string> urls;
  for (const PageLink* link : before.wanted) urls.push_back(link->url);
  return SiblingPage(search, urls, before.followed);
}

// The links of `sibling` in the place of `link` on its own page: where the
// rule made from one page is too narrow to find them (a folder named after
// the picture), they are known by their source, their markup just before,
// their depth, their extension and the size they promise.
std::vector<const PageLink*> Corresponding(const Page& sibling, const PageLink& link) {
  auto depth = [](const std::string& url) { return std::count(url.begin(), url.end(), '/'); };
  auto extension = [](const std::string& url) {
    const std::string path = PathOf(url);
    const size_t dot = path.rfind('.');
    return dot == std::string::npos || dot < path.rfind('/') ? std::string() : path.substr(dot);
  };
  const std::string before =
      link.before.substr(link.before.size() > 8 ? link.before.size() - 8 : 0);
  std::vector<const PageLink*> found;
  for (const PageLink& other : sibling.links) {
    if (other.source == link.source && depth(other.url) == depth(link.url) &&
        extension(other.url) == extension(link.url) && SizeHint(other) == SizeHint(link) &&
        other.before.size() >= before.size() &&
        other.before.compare(other.before.size() - before.size(), before.size(), before) == 0)
      found.push_back(&other);
  }
  return found;
}

// `siblings`: pages of the start page's kind, "" for none.
bool MakeRules(ChainSearch& search, const Chain& chain, const std::vector<std::string>& siblings,
               std::vector<StepRule>* rules, std::string* why) {
  for (size_t i = 0; i < chain.hops.size(); ++i) {
    const Hop& hop = chain.hops[i];
    std::vector<const PageLink*> wanted;
    for (const PageLink* link : hop.wanted) {
      if (!search.KnownToFail(link->url)) wanted.push_back(link);
    }
    if (wanted.empty()) {
      *why = Format("every link of step %d failed", static_cast<int>(i) + 1);
      return false;
    }
    std::vector<RulePage> pages = {{hop.page->url, &hop.page->text, wanted}};
    StepRule rule;
    RuleFit fit;
    if (!MakeStepRule(pages, &rule, &fit)) {
      *why = Format("no expression finds the links of step %d", static_cast<int>(i) + 1);
      return false;
    }
    const PagePtr sibling = i > 0 ? SiblingPage(search, chain.hops[i - 1])
                                  : SiblingPage(search, siblings, hop.page->url);
    if (sibling != nullptr) {
      const std::vector<std::string> found = ApplyStepRule(rule, sibling->text);
      const std::set<std::string> urls(found.begin(), found.end());
      RulePage second{sibling->url, &sibling->text, {}};
      for (const PageLink& link : sibling->links) {
        if (urls.count(link.url) != 0) second.wanted.push_back(&link);
      }
      if (second.wanted.empty()) second.wanted = Corresponding(*sibling, *wanted[0]);
      StepRule both;
      RuleFit both_fit;
      pages.push_back(second);
      if (!second.wanted.empty() && MakeStepRule(pages, &both, &both_fit)) rule = both;
    }
    rules->push_back(rule);
  }
  return true;
}

std::vector<std::string> Comments(const Chain& chain, const std::vector<std::string>& notes) {
  std::vector<std::string> comments;
  for (size_t i = 0; i < chain.hops.size(); ++i) {
    const Hop& hop = chain.hops[i];
    comments.push_back(
        Format("step %d: ", static_cast<int>(i) + 1) + Plural(hop.wanted.size(), "link", "links") +
        " like " + PathOf(hop.wanted[0]->url) + " on " + PathOf(hop.page->url) + ", " + hop.role);
  }
  for (const std::string& note : notes) comments.push_back("left out: " + note);
  return comments;
}

bool Larger(const Chain& a, const Chain& b) {
  if (a.width * a.height != b.width * b.height) return a.width * a.height > b.width * b.height;
  if (a.hops.size() != b.hops.size()) return a.hops.size() < b.hops.size();
  return a.hops.back().wanted.size() > b.hops.back().wanted.size();
}

// Why the start page gave no chain, in words.
void NoChainReasons(const Page& page, bool spent, Suggestion* suggestion) {
  static const boost::regex kScript("<script", boost::regex::perl | boost::regex::icase);
  if (page.links.empty()) {
    suggestion->reasons.push_back("the page holds no links at all");
  } else {
    suggestion->reasons.push_back(
        Format("none of the page's %d links leads, in at most %d steps, to a picture of at least "
               "%lldx%lld",
               static_cast<int>(page.links.size()), kMaxSteps, kMinSide, kMinSide));
  }
  if (boost::regex_search(page.text, kScript))
    suggestion->reasons.push_back(
        "the page has scripts: its pictures may appear only through them, which a crawl does not "
        "run");
  if (spent) suggestion->reasons.push_back("the bounds of the search were spent before it ended");
}

// Begin is the picture itself: a section of Begin alone.
Suggestion PictureAtBegin(const std::string& url, const Probed& probed, WebProbe& probe,
                          const ProofTools& tools) {
  Suggestion suggestion;
  suggestion.width = probed.width;
  suggestion.height = probed.height;
  const ProofResult proof = ProveChain(url, {}, 1, 1, 1, probe, tools);
  suggestion.proved = proof.proved;
  if (!proof.proved) suggestion.reasons.push_back("the picture failed its proof: " + proof.failure);
  suggestion.comments.push_back(
      Format("Begin is itself a %lldx%lld picture: no steps", probed.width, probed.height));
  return suggestion;
}

}  // namespace

Suggestion SuggestSite(const std::string& url, WebProbe& probe, const ProofTools& tools,
                       const std::vector<std::string>& siblings) {
  ChainSearch search(probe);
  const Probed& start = search.Get(url);
  Suggestion suggestion;
  if (!start.error.empty()) {
    suggestion.reasons.push_back("the address gave nothing usable: " + start.error);
    return suggestion;
  }
  if (start.IsPicture()) return PictureAtBegin(url, start, probe, tools);
  const PagePtr page = search.MakePage(url, start);
  std::set<std::string> keys;
  std::vector<Chain> chains = search.FromPage(page, 0, &keys);
  std::stable_sort(chains.begin(), chains.end(), Larger);
  if (chains.empty()) {
    NoChainReasons(*page, search.spent(), &suggestion);
    suggestion.comments = search.start_notes();
    return suggestion;
  }
  // Each chain gets a second proof when the first went wrong at a link the
  // search took for a sibling: that link is then left out of the rules.
  for (size_t i = 0, tries = 0; i < chains.size() && tries < 4; ++tries) {
    const Chain& chain = chains[i];
    std::vector<StepRule> rules;
    std::string why;
    std::string failed_url;
    if (MakeRules(search, chain, siblings, &rules, &why)) {
      const ProofResult proof =
          ProveChain(url, rules, kProofRuns, chain.width / 2, chain.height / 2, probe, tools);
      if (proof.proved) {
        suggestion.proved = true;
        suggestion.steps = rules;
        suggestion.width = chain.width;
        suggestion.height = chain.height;
        suggestion.comments = Comments(chain, search.start_notes());
        for (const std::string& reason : suggestion.reasons)
          suggestion.comments.push_back("tried first: " + reason);
        suggestion.reasons.clear();
        return suggestion;
      }
      why = proof.failure;
      failed_url = proof.failed_url;
    }
    suggestion.reasons.push_back(
        Format("the chain to the %lldx%lld pictures was not proved: ", chain.width, chain.height) +
        why);
    if (failed_url.empty() || failed_url == url || !search.MarkFailed(failed_url)) ++i;
  }
  return suggestion;
}

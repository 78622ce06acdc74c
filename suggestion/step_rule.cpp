#include "suggestion/step_rule.h"

#include <cctype>
#include <set>

#include "retrieval/link_extraction.h"

namespace {

enum class Kind { kLetters, kDigits, kOther };

struct Token {
  std::string raw;
  std::string decoded;
  Kind kind;
};

// Letters, digits, and every other character alone; an entity or a JSON
// escape is one character.
std::vector<Token> Tokenize(const std::string& raw) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < raw.size();) {
    const unsigned char c = static_cast<unsigned char>(raw[i]);
    size_t end = i + 1;
    Kind kind = Kind::kOther;
    if (std::isalpha(c)) {
      kind = Kind::kLetters;
      while (end < raw.size() && std::isalpha(static_cast<unsigned char>(raw[end]))) ++end;
    } else if (std::isdigit(c)) {
      kind = Kind::kDigits;
      while (end < raw.size() && std::isdigit(static_cast<unsigned char>(raw[end]))) ++end;
    } else if (c == '&' || c == '\\') {
      const size_t semicolon = raw.find(';', i);
      if (c == '&' && semicolon != std::string::npos && semicolon - i <= 8) end = semicolon + 1;
      if (c == '\\') end = raw.compare(i, 2, "\\u") == 0 ? i + 6 : i + 2;
      if (end > raw.size() || DecodeLinkText(raw.substr(i, end - i)).size() != 1) end = i + 1;
    }
    const std::string text = raw.substr(i, end - i);
    tokens.push_back({text, DecodeLinkText(text), kind});
    i = end;
  }
  return tokens;
}

enum class Mode { kLiteral, kSoft, kVar };

bool IsScriptExtension(const std::string& ext) {
  for (const char* script : {"php", "asp", "aspx", "cgi", "jsp", "pl", "py"}) {
    if (ext == script) return true;
  }
  return false;
}

bool IsPictureExtension(const std::string& ext) {
  for (const char* picture : {"jpg", "jpeg", "png", "webp", "gif", "bmp", "JPG", "PNG"}) {
    if (ext == picture) return true;
  }
  return false;
}

std::string Escape(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// The shape of one rule while it is being made more literal.
struct Draft {
  std::vector<Token> tokens;  // of the first wanted link
  std::vector<Mode> modes;    // one per token
  size_t name_begin = 0;      // the merged name: tokens [name_begin, name_split)
  size_t name_split = 0;      // as one class, [name_split, name_end) literal
  size_t name_end = 0;        // name_begin == name_end: no merged name
  bool name_led = false;      // the name starts with its first token's kind
  size_t name_prefix = 0;     // tokens at the name's start kept literal ("original-")
  // Folders named by a hash (MediaWiki's /a/ab/, a CDN's /3f9c0e21d7/): one
  // class each, whatever their letters today.
  std::vector<std::pair<size_t, size_t>> hashed;
  // Of those, the folders named after the picture ("/get/aurora-fjord-101/"):
  // a name's class.
  std::set<size_t> named_folders;
  std::vector<std::string> anchors;  // from the shortest
  size_t anchor = 0;
  std::string terminator;
  bool same_skeleton = false;  // every wanted link has the first's tokens
};

const char* ClassOf(Kind kind) {
  switch (kind) {
    case Kind::kDigits:
      return "([0-9]+)";
    case Kind::kLetters:
      return "([A-Za-z]+)";
    default:
      return "([^\"'<>[:space:]/?#&\\\\]+)";
  }
}

StepRule Render(const Draft& draft, const std::string& base) {
  std::string expression = Escape(draft.anchors[draft.anchor]);
  std::string link;
  int group = 0;
  auto add_var = [&](const char* cls) {
    expression += cls;
    link += "$_" + std::to_string(++group) + "_$";
  };
  for (size_t i = 0; i < draft.tokens.size(); ++i) {
    bool folder = false;
    for (const auto& [begin, end] : draft.hashed) {
      if (i != begin) continue;
      add_var(draft.named_folders.count(begin) != 0 ? ClassOf(Kind::kOther) : "([0-9A-Za-z]+)");
      i = end - 1;
      folder = true;
    }
    if (folder) continue;
    if (i == draft.name_begin && draft.name_begin < draft.name_end) {
      for (; i < draft.name_begin + draft.name_prefix; ++i) {
        expression += Escape(draft.tokens[i].raw);
        link += draft.tokens[i].decoded;
      }
      const Kind lead = draft.tokens[i].kind;
      if (draft.name_led && lead == Kind::kDigits) {
        add_var("([0-9][^\"'<>[:space:]/?#&\\\\]*)");
      } else if (draft.name_led && lead == Kind::kLetters) {
        add_var("([A-Za-z][^\"'<>[:space:]/?#&\\\\]*)");
      } else {
        add_var(ClassOf(Kind::kOther));
      }
      i = draft.name_split - 1;
      continue;
    }
    const Token& token = draft.tokens[i];
    if (draft.modes[i] == Mode::kLiteral) {
      expression += Escape(token.raw);
      link += token.decoded;
    } else {
      add_var(ClassOf(token.kind));
    }
  }
  expression += Escape(draft.terminator);
  return {expression, ResolveUrl(base, link)};
}

RuleFit Evaluate(const StepRule& rule, const std::vector<RulePage>& pages) {
  RuleFit fit;
  fit.finds_all = true;
  for (const RulePage& page : pages) {
    const std::vector<std::string> found = ApplyStepRule(rule, *page.text);
    std::set<std::string> distinct(found.begin(), found.end());
    std::set<std::string> wanted;
    for (const PageLink* link : page.wanted) wanted.insert(link->url);
    for (const std::string& url : wanted) {
      if (distinct.count(url) == 0) fit.finds_all = false;
    }
    for (const std::string& url : distinct) {
      if (wanted.count(url) == 0) ++fit.unwanted;
    }
  }
  return fit;
}

std::vector<const PageLink*> AllWanted(const std::vector<RulePage>& pages) {
  std::vector<const PageLink*> all;
  for (const RulePage& page : pages) all.insert(all.end(), page.wanted.begin(), page.wanted.end());
  return all;
}

// The text every `texts` ends with (`from_end`) or begins with, cut at a
// boundary that `keep` accepts.
std::string Common(const std::vector<std::string>& texts, bool from_end) {
  std::string common = texts[0];
  for (const std::string& text : texts) {
    size_t n = 0;
    while (n < common.size() && n < text.size() &&
           (from_end ? common[common.size() - 1 - n] == text[text.size() - 1 - n]
                     : common[n] == text[n]))
      ++n;
    common = from_end ? common.substr(common.size() - n) : common.substr(0, n);
  }
  return common;
}

// The anchors before the link: the attribute or key that holds it, then
// more of the markup, as far as every wanted link shares it.
std::vector<std::string> Anchors(const std::vector<const PageLink*>& wanted) {
  std::vector<std::string> befores;
  for (const PageLink* link : wanted) befores.push_back(link->before);
  const std::string common = Common(befores, /*from_end=*/true);
  // The attribute or key: back from the last "=" or ":" over blanks, then
  // over its name (and the quote of a JSON key).
  size_t start = common.find_last_of("=:");
  const bool listed = wanted[0]->source.find("srcset") != std::string::npos;
  if (listed) {
    // An entry of a srcset: after the comma or the quote before it.
    start = common.find_last_of(",\"'");
    if (start == std::string::npos) start = 0;
  } else if (start == std::string::npos) {
    start = common.size() > 2 ? common.size() - 2 : 0;
  } else {
    while (start > 0 && common[start - 1] == ' ') --start;
    while (start > 0 && (std::isalnum(static_cast<unsigned char>(common[start - 1])) ||
                         common[start - 1] == '-' || common[start - 1] == '_'))
      --start;
    // A JSON key: "url":"
    if (start > 0 && (common[start - 1] == '"' || common[start - 1] == '\'')) {
      const size_t open = common.rfind(common[start - 1], start - 2 < start ? start - 2 : 0);
      start = open == std::string::npos ? start - 1 : open;
    }
  }
  std::vector<std::string> anchors = {common.substr(start)};
  const size_t first = common.find_first_not_of(" \t");
  if (first != std::string::npos && common.size() - first > anchors[0].size())
    anchors.push_back(common.substr(first));
  return anchors;
}

std::string Terminator(const std::vector<const PageLink*>& wanted) {
  std::vector<std::string> afters;
  for (const PageLink* link : wanted) afters.push_back(link->after);
  std::string common = Common(afters, /*from_end=*/false);
  if (!common.empty() && (common[0] == '"' || common[0] == '\'')) return common.substr(0, 1);
  const size_t cut = common.find_first_of(",\"'<>");
  return common.substr(0, std::min<size_t>(cut == std::string::npos ? common.size() : cut, 12));
}

struct Shape {
  size_t stem_begin = 0;  // after the last "/" of the path
  size_t stem_end = 0;    // the extension's "." or the query's "?" or the end
  bool script = false;    // the path ends in a program (x.php): its query varies
};

Shape ShapeOf(const std::vector<Token>& tokens) {
  Shape shape;
  size_t query = tokens.size();
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].decoded == "?" || tokens[i].decoded == "#") {
      query = i;
      break;
    }
  }
  for (size_t i = 0; i < query; ++i) {
    if (tokens[i].decoded == "/") shape.stem_begin = i + 1;
  }
  shape.stem_end = query;
  if (query >= shape.stem_begin + 2 && tokens[query - 2].decoded == "." &&
      tokens[query - 1].kind == Kind::kLetters && tokens[query - 1].raw.size() <= 5) {
    shape.stem_end = query - 2;
    shape.script = IsScriptExtension(tokens[query - 1].raw) && query < tokens.size();
  }
  // A query that names the picture's file (th?id=OHR.Name_1920x1080.jpg):
  // that name is the one that changes.
  size_t value = 0;
  for (size_t i = query; i + 1 < tokens.size(); ++i) {
    if (tokens[i].decoded == "=") value = i + 1;
    if (tokens[i].decoded == "&") value = 0;
    if (value != 0 && tokens[i].decoded == "." && IsPictureExtension(tokens[i + 1].raw) &&
        i > value) {
      shape.stem_begin = value;
      shape.stem_end = i;
      shape.script = false;
      break;
    }
  }
  return shape;
}

bool SameSkeleton(const std::vector<Token>& a, const std::vector<Token>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].kind != b[i].kind || (a[i].kind == Kind::kOther && a[i].raw != b[i].raw)) return false;
  }
  return true;
}

bool IsHashName(const std::string& name) {
  static const char kHex[] = "0123456789abcdef";
  const bool hex = name.find_first_not_of(kHex) == std::string::npos;
  return !name.empty() && hex && (name.size() <= 2 || name.size() >= 8);
}

// The folders of the path before `stem_begin` that a hash names.
std::vector<std::pair<size_t, size_t>> HashedFolders(const std::vector<Token>& tokens,
                                                     size_t stem_begin) {
  std::vector<std::pair<size_t, size_t>> hashed;
  size_t start = 0;
  std::string name;
  for (size_t i = 0; i < stem_begin; ++i) {
    if (tokens[i].decoded != "/") {
      name += tokens[i].decoded;
      continue;
    }
    // Not the host: a folder follows a "/" that another "/" does not.
    if (start > 0 && IsHashName(name) && tokens[start - 1].decoded == "/" &&
        (start < 2 || tokens[start - 2].decoded != "/"))
      hashed.emplace_back(start, i);
    name.clear();
    start = i + 1;
  }
  return hashed;
}

// Where the path begins in an address with a scheme or "//" (0 for a
// path).
size_t HostEnd(const std::vector<Token>& tokens) {
  size_t i = 0;
  while (i < tokens.size() && tokens[i].kind == Kind::kLetters) ++i;
  if (i < tokens.size() && tokens[i].decoded == ":") ++i;
  if (i + 1 >= tokens.size() || tokens[i].decoded != "/" || tokens[i + 1].decoded != "/") return 0;
  for (i += 2; i < tokens.size(); ++i) {
    if (tokens[i].decoded == "/" || tokens[i].decoded == "?") return i;
  }
  return tokens.size();
}

// The folders before `stem_begin` in which a token varies between the
// wanted links become one class each: a folder named after its picture.
void AddNamedFolders(size_t stem_begin, Draft* draft) {
  size_t start = HostEnd(draft->tokens);
  for (size_t i = start; i <= stem_begin && i < draft->tokens.size(); ++i) {
    if (draft->tokens[i].decoded != "/" && i != stem_begin) continue;
    bool varies = false;
    for (size_t k = start; k < i; ++k) varies = varies || draft->modes[k] == Mode::kVar;
    bool hashed = false;
    for (const auto& range : draft->hashed) hashed = hashed || range.first == start;
    if (varies && !hashed && i > start) {
      draft->hashed.emplace_back(start, i);
      draft->named_folders.insert(start);
    }
    start = i + 1;
  }
}

// The first draft: as general as the wanted links allow.
Draft FirstDraft(const std::vector<const PageLink*>& wanted) {
  Draft draft;
  draft.tokens = Tokenize(wanted[0]->raw);
  draft.anchors = Anchors(wanted);
  draft.terminator = Terminator(wanted);
  const Shape shape = ShapeOf(draft.tokens);
  std::vector<std::vector<Token>> others;
  bool same = true;
  for (size_t i = 1; i < wanted.size(); ++i) {
    others.push_back(Tokenize(wanted[i]->raw));
    same = same && SameSkeleton(draft.tokens, others.back());
  }
  draft.same_skeleton = same;
  const size_t host_end = HostEnd(draft.tokens);
  bool name_varies = !same || wanted.size() == 1;
  for (size_t i = 0; i < draft.tokens.size(); ++i) {
    const Token& token = draft.tokens[i];
    bool varies = false;
    for (const auto& other : others) varies = varies || (same && other[i].raw != token.raw);
    if (varies && i >= shape.stem_begin && i < shape.stem_end) name_varies = true;
    const bool in_query = i > shape.stem_end;
    Mode mode = token.kind == Kind::kDigits ? Mode::kSoft : Mode::kLiteral;
    if (varies) mode = Mode::kVar;
    if (shape.script && in_query && token.kind == Kind::kDigits) mode = Mode::kVar;
    if (i < host_end) mode = Mode::kLiteral;  // the scheme and the host stay
    if (varies) mode = Mode::kVar;
    draft.modes.push_back(mode);
  }
  draft.hashed = HashedFolders(draft.tokens, shape.stem_begin);
  AddNamedFolders(shape.stem_begin, &draft);
  if (name_varies && !shape.script && shape.stem_end > shape.stem_begin) {
    draft.name_begin = shape.stem_begin;
    draft.name_end = shape.stem_end;
    draft.name_split = shape.stem_end;
  }
  return draft;
}

// The tokens at the end of the merged name that every wanted link shares:
// how far its literal part may grow.
size_t SharedNameEnd(const Draft& draft, const std::vector<const PageLink*>& wanted) {
  size_t shared = 0;
  const size_t length = draft.name_end - draft.name_begin;
  for (size_t n = 1; n < length; ++n) {
    const std::string& tail_token = draft.tokens[draft.name_end - n].raw;
    for (const PageLink* link : wanted) {
      const std::vector<Token> tokens = Tokenize(link->raw);
      const Shape shape = ShapeOf(tokens);
      if (shape.stem_end < n || tokens[shape.stem_end - n].raw != tail_token) return shared;
    }
    shared = n;
  }
  return shared;
}

// The tokens at the start of the merged name that every wanted link shares.
size_t SharedNamePrefix(const Draft& draft, const std::vector<const PageLink*>& wanted) {
  size_t shared = 0;
  for (size_t n = 0; draft.name_begin + n + 1 < draft.name_end; ++n) {
    for (const PageLink* link : wanted) {
      const std::vector<Token> tokens = Tokenize(link->raw);
      const Shape shape = ShapeOf(tokens);
      const size_t at = shape.stem_begin + n;
      if (at >= shape.stem_end || tokens[at].raw != draft.tokens[draft.name_begin + n].raw)
        return shared;
    }
    shared = n + 1;
  }
  return shared;
}

// True when every wanted link's name starts with the same kind of token
// (digits, or letters) as the first's: "/shots/27036298-Brand" and not
// "/shots/popular".
bool SharedNameLead(const Draft& draft, const std::vector<const PageLink*>& wanted) {
  if (draft.name_begin >= draft.name_end) return false;
  const Kind lead = draft.tokens[draft.name_begin].kind;
  if (lead == Kind::kOther) return false;
  for (const PageLink* link : wanted) {
    const std::vector<Token> tokens = Tokenize(link->raw);
    const Shape shape = ShapeOf(tokens);
    if (shape.stem_begin >= tokens.size() || tokens[shape.stem_begin].kind != lead) return false;
  }
  return true;
}

// The drafts one step more literal than `draft`.
std::vector<Draft> Narrower(const Draft& draft, size_t shared_name_end, size_t shared_prefix,
                            bool shared_lead) {
  std::vector<Draft> narrower;
  for (size_t i = 0; i < draft.tokens.size(); ++i) {
    if (draft.modes[i] != Mode::kSoft) continue;
    if (i >= draft.name_begin && i < draft.name_split) continue;
    Draft next = draft;
    next.modes[i] = Mode::kLiteral;
    narrower.push_back(next);
  }
  // (Not once the name is taken token by token: it has no merged name left.)
  if (draft.name_split > draft.name_begin && draft.name_end - draft.name_split < shared_name_end) {
    Draft next = draft;
    // The literal end of the name starts at a separator: "-1920x1080", not
    // "1080".
    --next.name_split;
    while (next.name_split > next.name_begin + 1 &&
           draft.name_end - next.name_split < shared_name_end &&
           draft.tokens[next.name_split].kind != Kind::kOther)
      --next.name_split;
    for (size_t i = next.name_split; i < next.name_end; ++i) {
      if (next.modes[i] == Mode::kSoft) next.modes[i] = Mode::kLiteral;
    }
    narrower.push_back(next);
  }
  if (draft.name_begin < draft.name_end && draft.name_prefix < shared_prefix) {
    // The literal start of the name ends after a separator: "original-".
    Draft next = draft;
    do {
      ++next.name_prefix;
    } while (next.name_prefix < shared_prefix &&
             draft.tokens[next.name_begin + next.name_prefix - 1].kind != Kind::kOther);
    if (next.name_begin + next.name_prefix < next.name_split) narrower.push_back(next);
  }
  if (draft.name_begin < draft.name_end && !draft.name_led && shared_lead) {
    Draft next = draft;
    next.name_led = true;
    narrower.push_back(next);
  }
  if (draft.name_begin < draft.name_end && draft.same_skeleton) {
    // The name token by token: what every wanted link shares in it stays.
    Draft next = draft;
    next.name_begin = next.name_end = next.name_split = 0;
    narrower.push_back(next);
  }
  if (draft.anchor + 1 < draft.anchors.size()) {
    Draft next = draft;
    ++next.anchor;
    narrower.push_back(next);
  }
  return narrower;
}

}  // namespace

std::vector<std::string> ApplyStepRule(const StepRule& rule, const std::string& text) {
  LinkSearch search = FindLinks(text, rule.expression, rule.url_template);
  return std::move(search.links);
}

bool MakeStepRule(const std::vector<RulePage>& pages, StepRule* rule, RuleFit* fit) {
  const std::vector<const PageLink*> wanted = AllWanted(pages);
  if (wanted.empty()) return false;
  const std::string& base = pages[0].base;
  Draft draft = FirstDraft(wanted);
  *rule = Render(draft, base);
  *fit = Evaluate(*rule, pages);
  if (!fit->finds_all) return false;
  const size_t shared = SharedNameEnd(draft, wanted);
  const bool shared_lead = SharedNameLead(draft, wanted);
  const size_t shared_prefix = SharedNamePrefix(draft, wanted);
  // Greedy: the narrowing that leaves out the most, then the next from there.
  while (fit->unwanted > 0) {
    bool better = false;
    Draft best = draft;
    for (const Draft& next : Narrower(draft, shared, shared_prefix, shared_lead)) {
      const StepRule candidate = Render(next, base);
      const RuleFit next_fit = Evaluate(candidate, pages);
      if (next_fit.finds_all && next_fit.unwanted < fit->unwanted) {
        best = next;
        *rule = candidate;
        *fit = next_fit;
        better = true;
      }
    }
    if (!better) break;
    draft = best;
  }
  return true;
}

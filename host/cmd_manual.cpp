// Two commands for the installation, not listed in `tavelo --help`, that read
// the program's own commands and options, so the manual pages and the shell
// completion follow every command and option without edits:
//   tavelo _man DIR            writes a manual page per command into DIR
//                              (tavelo.1, tavelo-render.1, tavelo-farm-submit.1 ...)
//   tavelo _complete WORD...   the bash completion of the last WORD
//                              (scripts/tavelo.bash asks it)
#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TaveloVersion.h"
#include "cli.h"
#include "project.h"
#include "session.h"

namespace tavelo {
namespace {

namespace fs = std::filesystem;

// ---- What the program offers --------------------------------------------------

// The sub-commands a user sees (the hidden ones have no group).
std::vector<const CLI::App*> Commands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App* s) { return !s->get_group().empty(); });
}

std::vector<const CLI::Option*> Options(const CLI::App& app, bool positional) {
  return app.get_options([positional](const CLI::Option* o) { return o->get_positional() == positional; });
}

// "tavelo farm submit"
std::string CommandPath(const CLI::App& app) {
  std::string path = app.get_name();
  for (const CLI::App* p = app.get_parent(); p; p = p->get_parent()) path = p->get_name() + " " + path;
  return path;
}

bool TakesValue(const CLI::Option& o) { return o.get_items_expected_max() > 0; }

// ---- Manual pages -------------------------------------------------------------

// Text as roff: backslashes and minus signs escaped, no line starting with a
// control character.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
    lineStart = c == '\n';
  }
  return out;
}

// "-c, --comp TEXT" in roff: names bold, the value's type italic.
std::string OptionTerm(const CLI::Option& o) {
  std::string term;
  for (const std::string& s : o.get_snames())
    term += (term.empty() ? "" : ", ") + ("\\fB" + Roff("-" + s) + "\\fR");
  for (const std::string& l : o.get_lnames())
    term += (term.empty() ? "" : ", ") + ("\\fB" + Roff("--" + l) + "\\fR");
  if (TakesValue(o)) {
    term += " \\fI" + Roff(o.get_type_name()) + "\\fR";
    if (o.get_items_expected_max() > 1) term += " ...";
  }
  return term;
}

std::string Synopsis(const CLI::App& app) {
  std::string s = ".B " + Roff(CommandPath(app)) + "\n[\\fIOPTIONS\\fR]";
  for (const CLI::Option* p : Options(app, true)) {
    std::string name =
        "\\fI" + Roff(p->get_name(true)) + "\\fR" + (p->get_items_expected_max() > 1 ? " ..." : "");
    s += p->get_required() ? " " + name : " [" + name + "]";
  }
  if (!Commands(app).empty()) s += " \\fICOMMAND\\fR";
  return s + "\n";
}

std::string PageName(const CLI::App& app) {
  std::string name = CommandPath(app);
  for (char& c : name)
    if (c == ' ') c = '-';
  return name;
}

// The footer's paragraphs ("Exit codes: ...", "Environment: ...") as
// sections of their own.
std::string FooterSections(const std::string& footer) {
  std::string out, section, text;
  const auto flush = [&] {
    if (text.empty()) return;
    out += ".SH " + Roff(section.empty() ? "NOTES" : section) + "\n" + Roff(text) + "\n";
    text.clear();
  };
  std::istringstream lines(footer);
  for (std::string line; std::getline(lines, line);) {
    // A paragraph opens with a label of words: "Exit codes: ...".
    const size_t colon = line.find(": ");
    bool opens = colon != std::string::npos && colon > 0 && colon < 24 &&
                 std::isupper(static_cast<unsigned char>(line[0]));
    for (size_t i = 0; opens && i < colon; ++i)
      opens = std::isalpha(static_cast<unsigned char>(line[i])) || line[i] == ' ' || line[i] == '-';
    if (opens) {
      flush();
      section = line.substr(0, colon);
      for (char& c : section) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (section == "EXIT CODES") section = "EXIT STATUS";
      line.erase(0, colon + 2);
    }
    text += (text.empty() ? "" : "\n") + line;
  }
  flush();
  return out;
}

void WritePage(const CLI::App& app, const fs::path& dir) {
  const std::string name = PageName(app);
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string page = ".TH " + Roff(upper) + " 1 \"\" \"tavelo " TAVELO_VERSION "\" \"Tavelo manual\"\n.nh\n";
  // "tavelo: renders ..." (the program's own) names the program already.
  std::string summary = app.get_description();
  if (summary.rfind(app.get_name() + ": ", 0) == 0) summary.erase(0, app.get_name().size() + 2);
  while (!summary.empty() && summary.back() == '.') summary.pop_back();
  page += ".SH NAME\n" + Roff(name) + " \\- " + Roff(summary) + "\n";
  page += ".SH SYNOPSIS\n" + Synopsis(app);
  if (!summary.empty()) summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
  page += ".SH DESCRIPTION\n" + Roff(summary) + ".\n";
  if (const auto commands = Commands(app); !commands.empty()) {
    page += ".SH COMMANDS\n";
    for (const CLI::App* c : commands)
      page += ".TP\n.B " + Roff(c->get_name()) + "\n" + Roff(c->get_description()) + " (\\fB" +
              Roff(PageName(*c)) + "\\fR(1))\n";
  }
  if (const auto positionals = Options(app, true); !positionals.empty()) {
    page += ".SH ARGUMENTS\n";
    for (const CLI::Option* p : positionals)
      page += ".TP\n\\fI" + Roff(p->get_name(true)) + "\\fR\n" + Roff(p->get_description()) +
              (p->get_required() ? " (required)" : "") + "\n";
  }
  page += ".SH OPTIONS\n";
  for (const CLI::Option* o : Options(app, false))
    page += ".TP\n" + OptionTerm(*o) + "\n" + Roff(o->get_description()) +
            (o->get_required() ? " (required)" : "") + "\n";
  page += FooterSections(app.get_footer());
  if (!app.get_parent()) {
    page +=
        ".SH FILES\n"
        "Effect plug-ins (*.tvx) are searched in each \\fB\\-\\-plugins\\fR folder, the folders of "
        "\\fBTAVELO_PLUGIN_PATH\\fR, \\fI$XDG_DATA_HOME/tavelo/plug\\-ins\\fR "
        "(\\fI~/.local/share/tavelo/plug\\-ins\\fR), then the installation's "
        "\\fIlib/tavelo/plug\\-ins\\fR; \\fBtavelo plugins\\fR lists them. Still images and movies are read and "
        "written by the format modules in the installation's \\fIlib/tavelo/formats\\fR (or the folder "
        "\\fBTAVELO_FORMAT_MODULES\\fR names), loaded on first use.\n";
  }
  page += ".SH SEE ALSO\n";
  std::string see;
  if (const CLI::App* parent = app.get_parent()) see = "\\fB" + Roff(PageName(*parent)) + "\\fR(1)";
  for (const CLI::App* c : Commands(app))
    see += (see.empty() ? "" : ",\n") + ("\\fB" + Roff(PageName(*c)) + "\\fR(1)");
  page += see + "\n";

  const fs::path file = dir / (name + ".1");
  std::ofstream out(file, std::ios::binary);
  out << page;
  out.close();
  if (!out) Fail("cannot write \"" + file.string() + "\"");
  for (const CLI::App* c : Commands(app)) WritePage(*c, dir);
}

int Manual(const CLI::App& root, const std::string& dirName) {
  std::error_code ec;
  const fs::path dir = dirName;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) Fail("\"" + dirName + "\" is not a folder");
  // Pages of commands that are gone do not stay behind.
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    const std::string n = e.path().filename().string();
    if (n.rfind("tavelo", 0) == 0 && e.path().extension() == ".1") fs::remove(e.path(), ec);
  }
  WritePage(root, dir);
  return kExitDone;
}

// ---- Completion -----------------------------------------------------------------

const CLI::Option* FindOption(const CLI::App& app, const std::string& word) {
  for (const CLI::Option* o : Options(app, false)) {
    for (const std::string& s : o->get_snames())
      if (word == "-" + s) return o;
    for (const std::string& l : o->get_lnames())
      if (word == "--" + l) return o;
  }
  return nullptr;
}

bool IsCompOption(const CLI::Option& o) {
  for (const std::string& l : o.get_lnames())
    if (l == "comp") return true;
  return false;
}

// The compositions of a project, quietly (nothing when it cannot be read).
std::vector<std::string> CompNames(const std::string& project, const Common& common) {
  std::vector<std::string> names;
  try {
    Common quiet = common;
    quiet.level = LogLevel::Quiet;
    Session session(quiet);
    LoadProject(project);
    for (BEE_Item comp : Comps()) names.push_back(ItemName(comp));
  } catch (const std::exception&) {
  }
  return names;
}

// Prints "words" and the candidates starting with the last word, one a
// line, or "files" when the shell should complete a file name.
int Complete(const CLI::App& root, const std::vector<std::string>& words, const Common& common) {
  // Right after "--comp=" the shell's word is "=" and the value is empty.
  std::string current = words.empty() || words.back() == "=" ? std::string() : words.back();
  const CLI::App* app = &root;
  const CLI::Option* pending = nullptr;  // an option whose value comes next
  std::string project;
  size_t positional = 0;
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    const std::string& w = words[i];
    if (w == "=") continue;  // bash splits --comp=Main into --comp, =, Main
    if (pending) {
      pending = nullptr;
      continue;
    }
    if (w.size() > 1 && w[0] == '-') {
      const CLI::Option* o = FindOption(*app, w.substr(0, w.find('=')));
      if (o && TakesValue(*o) && w.find('=') == std::string::npos) pending = o;
      continue;
    }
    bool descended = false;
    for (const CLI::App* c : Commands(*app))
      if (c->get_name() == w) {
        app = c;
        descended = true;
        positional = 0;
      }
    if (descended) continue;
    // The words that are not options fill the command's positionals in turn.
    const auto positionals = Options(*app, true);
    if (positional < positionals.size() && positionals[positional]->get_name(true) == "PROJECT") project = w;
    ++positional;
  }
  std::vector<std::string> candidates;
  if (pending) {
    if (!IsCompOption(*pending)) {
      const std::string type = pending->get_type_name();
      std::printf("%s\n", type == "INT" || type == "FLOAT" || type == "UINT" ? "words" : "files");
      return kExitDone;
    }
    if (!project.empty()) candidates = CompNames(project, common);
  } else if (!current.empty() && current[0] == '-') {
    for (const CLI::Option* o : Options(*app, false)) {
      for (const std::string& l : o->get_lnames()) candidates.push_back("--" + l);
      for (const std::string& s : o->get_snames()) candidates.push_back("-" + s);
    }
  } else {
    for (const CLI::App* c : Commands(*app)) candidates.push_back(c->get_name());
    if (candidates.empty() && !Options(*app, true).empty()) {
      std::printf("files\n");
      return kExitDone;
    }
  }
  std::printf("words\n");
  for (const std::string& c : candidates)
    if (c.rfind(current, 0) == 0) std::printf("%s\n", c.c_str());
  return kExitDone;
}

}  // namespace

void AddManualCommands(CLI::App& app, Dispatch& d) {
  static std::string dir;
  static std::vector<std::string> words;
  auto* man = app.add_subcommand("_man", "write a manual page per command into DIR")->group("");
  man->add_option("DIR", dir, "the folder for the pages")->required();
  man->callback([&d, &app] { d.run = [&app] { return Manual(app, dir); }; });
  auto* complete = app.add_subcommand("_complete", "the shell completion of the last word")->group("");
  complete->prefix_command();
  complete->set_help_flag();  // "-h" is a word to complete here
  complete->callback([&d, &app, complete] {
    words = complete->remaining();
    d.run = [&d, &app] { return Complete(app, words, d.common); };
  });
}

}  // namespace tavelo

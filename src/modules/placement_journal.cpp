#include "modules/placement_journal.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace bu {

const char kJournalPlanned[] = "planned\n";
const char kJournalPlaced[] = "placed\n";

namespace {

const char kFormat[] = "bu-placement 1";

std::string escaped(const std::wstring& path) {
  std::string text;
  text.reserve(path.size());
  for (const wchar_t c : path) {
    if (c > L' ' && c <= L'~' && c != L'%') {
      text += static_cast<char>(c);
    } else {
      char code[16];
      std::snprintf(code, sizeof code, "%%%lx;", static_cast<unsigned long>(c));
      text += code;
    }
  }
  return text;
}

bool unescaped(const std::string& text, std::wstring& path) {
  path.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      path += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
      continue;
    }
    const std::size_t end = text.find(';', i);
    if (end == std::string::npos || end == i + 1) return false;
    char* stop = nullptr;
    const unsigned long code = std::strtoul(text.c_str() + i + 1, &stop, 16);
    if (stop != text.c_str() + end) return false;
    path += static_cast<wchar_t>(code);
    i = end;
  }
  return true;
}

std::string stampText(const platform::NodeStamp& stamp) {
  std::ostringstream text;
  text << stamp.mode << ' ' << stamp.accessed << ' ' << stamp.modified;
  return text.str();
}

bool readStamp(std::istringstream& fields, platform::NodeStamp& stamp) {
  return static_cast<bool>(fields >> stamp.mode >> stamp.accessed >> stamp.modified);
}

// One record into `journal`; false when it is not one the format knows.
bool readRecord(const std::string& line, PlacementJournal& journal) {
  std::istringstream fields(line);
  std::string word;
  std::string path;
  fields >> word;
  PlacementStep step;
  if (word == "root") {
    journal.hasRoot = readStamp(fields, journal.root);
    return journal.hasRoot;
  }
  if (word == "planned" || word == "placed") {
    (word == "planned" ? journal.planned : journal.placed) = true;
    return true;
  }
  if (!(fields >> path) || !unescaped(path, step.path)) return false;
  if (word == "directory") {
    int entry = 0;
    if (!readStamp(fields, step.stamp) || !(fields >> entry)) return false;
    step.kind = PlacementStep::Kind::Directory;
    step.entry = entry != 0;
  } else if (word == "new") {
    step.kind = PlacementStep::Kind::New;
  } else if (word == "replace") {
    std::string aside;
    if (!(fields >> aside) || !unescaped(aside, step.aside)) return false;
    step.kind = PlacementStep::Kind::Replace;
  } else {
    return false;
  }
  journal.steps.push_back(std::move(step));
  return true;
}

}  // namespace

std::string journalHeader(const platform::NodeStamp& root) {
  return std::string(kFormat) + "\nroot " + stampText(root) + "\n";
}

std::string journalSteps(const std::vector<PlacementStep>& steps) {
  std::string text;
  for (const PlacementStep& step : steps) {
    switch (step.kind) {
      case PlacementStep::Kind::Directory:
        text += "directory " + escaped(step.path) + ' ' + stampText(step.stamp) +
                (step.entry ? " 1\n" : " 0\n");
        break;
      case PlacementStep::Kind::New:
        text += "new " + escaped(step.path) + '\n';
        break;
      case PlacementStep::Kind::Replace:
        text += "replace " + escaped(step.path) + ' ' + escaped(step.aside) + '\n';
        break;
    }
  }
  return text;
}

PlacementJournal parseJournal(const std::string& text) {
  PlacementJournal journal;
  std::size_t begin = 0;
  bool first = true;
  for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
    const std::string line = text.substr(begin, end - begin);
    if (first) {
      if (line != kFormat) return journal;
      first = false;
    } else if (!readRecord(line, journal)) {
      return journal;
    }
  }
  journal.valid = !first;
  return journal;
}

}  // namespace bu

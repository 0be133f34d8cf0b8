// Loading and parsing a package's buConfig.xml: the program's own
// loadConfigurationFile + parseConfiguration against TinyXML's LoadFile and a
// plain walk over the same elements, copying the same eight texts out.
//
//   bu_bench_parse <package-dir> <rounds> <products>
//
// The package directory holds buConfig.xml with <products> complete products.
// The program's path writes its few log lines to $TMPDIR, as it does in a run.
#include <tinyxml.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "config/configuration.h"
#include "config/update_entry.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "bu_bench_parse: %s\n", what);
  std::exit(1);
}

std::string textOf(const TiXmlNode* parent, const char* name) {
  const TiXmlNode* node = parent != nullptr ? parent->FirstChild(name) : nullptr;
  const TiXmlElement* element = node != nullptr ? node->ToElement() : nullptr;
  const char* text = element != nullptr ? element->GetText() : nullptr;
  return text != nullptr ? text : "";
}

// TinyXML alone: load, then the elements the configuration is made of.
std::vector<bu::UpdateEntry> walkWithTinyXml() {
  TiXmlDocument document;
  if (!document.LoadFile("buConfig.xml")) fail("TinyXML could not load buConfig.xml");
  std::vector<bu::UpdateEntry> entries;
  const TiXmlElement* root = document.FirstChildElement();
  if (root == nullptr) fail("no root element");
  const TiXmlNode* info = root->FirstChild("info");
  (void)textOf(info, "run-oem-only");
  for (const TiXmlElement* product = root->FirstChildElement("product"); product != nullptr;
       product = product->NextSiblingElement("product")) {
    const TiXmlNode* auth = product->FirstChild("auth-dll-info");
    const TiXmlNode* deploy = product->FirstChild("deploy-dll-info");
    entries.push_back(bu::UpdateEntry{
        textOf(auth, "content-type"), textOf(deploy, "content-type"),
        textOf(product, "update-file"), textOf(product, "update-description"),
        textOf(auth, "dll-name"), textOf(deploy, "dll-name"), textOf(auth, "location"),
        textOf(deploy, "location")});
  }
  return entries;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) fail("usage: bu_bench_parse <package-dir> <rounds> <products>");
  if (::chdir(argv[1]) != 0) fail("cannot enter the package directory");
  const int rounds = std::atoi(argv[2]);
  const std::size_t products = std::strtoul(argv[3], nullptr, 10);

  const auto ours = [products] {
    TiXmlDocument document;
    if (bu::loadConfigurationFile(document) != 102) fail("loadConfigurationFile failed");
    if (bu::parseConfiguration(document) != 0) fail("parseConfiguration failed");
    if (bu::updateEntries.size() != products) fail("our parse lost products");
  };
  const auto reference = [products] {
    if (walkWithTinyXml().size() != products) fail("the walk lost products");
  };
  bench::report("parse", bench::alternate(rounds, ours, reference));
  return 0;
}

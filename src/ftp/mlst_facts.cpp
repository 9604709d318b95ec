#include "ftp/mlst_facts.h"

#include "common/text.h"

namespace vantrel {
namespace {

struct FactName {
  MlstFact fact;
  const char* selection;  // as OPTS MLST reports it, in its order
  const char* feature;    // as FEAT lists it
};

constexpr FactName kFacts[] = {
    {MlstFact::kSize, "size;", "size"},
    {MlstFact::kType, "type;", "Type"},
    {MlstFact::kPerm, "perm;", "Perm"},
    {MlstFact::kCreate, "create;", "Create"},
    {MlstFact::kModify, "modify;", "Modify"},
    {MlstFact::kUnixMode, "UNIX.mode;", "UNIX.mode"},
    {MlstFact::kUnixOwner, "UNIX.owner;", "UNIX.owner"},
    {MlstFact::kUnixGroup, "UNIX.group;", "UNIX.group"},
    {MlstFact::kUnique, "unique;", "Unique"},
    {MlstFact::kWindowsLastAccessTime, "windows.lastaccesstime;", "Windows.lastaccesstime"},
    {MlstFact::kWin32Ea, "win32.ea", "Win32.ea"},
};

// FEAT names the facts in this order: the three basic ones first.
constexpr MlstFact kFeatureOrder[] = {
    MlstFact::kSize,      MlstFact::kType,
    MlstFact::kModify,    MlstFact::kPerm,
    MlstFact::kCreate,    MlstFact::kUnixMode,
    MlstFact::kUnixOwner, MlstFact::kUnixGroup,
    MlstFact::kUnique,    MlstFact::kWindowsLastAccessTime,
    MlstFact::kWin32Ea,
};

const FactName& NameOf(MlstFact fact) {
  for (const auto& name : kFacts) {
    if (name.fact == fact)
      return name;
  }
  return kFacts[0];
}

}  // namespace

MlstFacts SelectMlstFacts(std::string_view options, MlstFacts offered) {
  // A widely used client takes a machine line that does not start with the type fact for
  // no entry at all, and a selection without it would silently empty its listings.
  MlstFacts selected = {MlstFact::kType};
  while (!options.empty()) {
    const std::size_t end = options.find(';');
    const std::string_view word = options.substr(0, end);
    for (const auto& name : kFacts) {
      if (offered.Has(name.fact) && EqualsIgnoreCase(word, name.feature))
        selected.Add(name.fact);
    }
    if (end == std::string_view::npos)
      break;
    options.remove_prefix(end + 1);
  }
  return selected;
}

std::string FormatMlstSelection(MlstFacts selected) {
  std::string text;
  for (const auto& name : kFacts) {
    if (selected.Has(name.fact))
      text += name.selection;
  }
  return text;
}

std::string FormatMlstFeature(MlstFacts offered, MlstFacts selected) {
  std::string line = "MLST ";
  for (MlstFact fact : kFeatureOrder) {
    if (!offered.Has(fact))
      continue;
    line += NameOf(fact).feature;
    line += selected.Has(fact) ? "*;" : ";";
  }
  return line;
}

}  // namespace vantrel

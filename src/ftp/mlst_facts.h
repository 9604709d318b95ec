#pragma once

// The facts a machine listing can carry (RFC 3659). A session selects some of those the
// server offers; the selection shapes FEAT's MLST line and the machine listings.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

enum class MlstFact : std::uint32_t {
  kSize = 1u << 0,
  kType = 1u << 1,
  kPerm = 1u << 2,
  kCreate = 1u << 3,
  kModify = 1u << 4,
  kUnixMode = 1u << 5,
  kUnixOwner = 1u << 6,
  kUnixGroup = 1u << 7,
  kUnique = 1u << 8,
  kWindowsLastAccessTime = 1u << 9,
  kWin32Ea = 1u << 10,
};

// A set of facts; a value.
class MlstFacts {
 public:
  constexpr MlstFacts() = default;
  constexpr MlstFacts(std::initializer_list<MlstFact> facts) {
    for (MlstFact fact : facts)
      bits_ |= static_cast<std::uint32_t>(fact);
  }

  bool Has(MlstFact fact) const { return (bits_ & static_cast<std::uint32_t>(fact)) != 0; }
  void Add(MlstFact fact) { bits_ |= static_cast<std::uint32_t>(fact); }
  MlstFacts Union(MlstFacts other) const { return FromBits(bits_ | other.bits_); }
  bool operator==(const MlstFacts&) const = default;

  // Always offered: size, type and modify.
  static MlstFacts Basic() { return {MlstFact::kSize, MlstFact::kType, MlstFact::kModify}; }

 private:
  static MlstFacts FromBits(std::uint32_t bits) {
    MlstFacts facts;
    facts.bits_ = bits;
    return facts;
  }

  std::uint32_t bits_ = 0;
};

// OPTS MLST: the facts named in `options` ("size;type;", any letter case) that are among
// `offered`, and the type fact whether named or not; unknown names are passed over.
MlstFacts SelectMlstFacts(std::string_view options, MlstFacts offered);
// The selection as OPTS MLST reports it: "size;type;modify;".
std::string FormatMlstSelection(MlstFacts selected);
// FEAT's line: "MLST size*;Type*;Modify*;" with "*" on the selected facts.
std::string FormatMlstFeature(MlstFacts offered, MlstFacts selected);

}  // namespace vantrel

#pragma once
// Numbers from an oracle against a reference, within stated tolerances; a failure
// reports the first few differing values with their positions, never whole files.
#include <cstddef>
#include <string>

namespace testutil {

// Collects differences beyond a tolerance; Report() lists the first `shown`.
class Differences {
public:
    explicit Differences(size_t shown = 5) : shown_(shown) {}
    // True when |got - want| <= allowed; otherwise records `where`.
    bool Check(double got, double want, double allowed, const std::string& where);
    // A difference that is not a number (missing line, other key, other length).
    void Note(const std::string& what);
    size_t Count() const { return count_; }
    // Empty when nothing differed.
    std::string Report() const;

private:
    size_t shown_, count_ = 0;
    std::string text_;
};

// Compares the text an oracle script just wrote with its checked-in golden file
// (lines of "key numbers..."). Tolerances live beside the golden file, in the file
// of the same name ending ".tolerance", one line per key with its reason:
//   KEY ABS REL [at LISTKEY]   # why
// A value passes when |got - want| <= ABS + REL |want|; with "at LISTKEY" the
// tolerance holds only at the positions listed on the next LISTKEY line of the
// golden file, elsewhere the values must be equal. KEY "*" applies to keys not
// listed; without any rule numbers must be equal. Returns "" when all agree.
std::string CompareWithGolden(const std::string& gotText, const std::string& goldenPath);

}  // namespace testutil

#pragma once
// A sequence-source frame as a run reads it. The window's frames and the
// command line's sources both answer through this one rule.
#include <string>

enum class SourceKind { Explicit, Formula, Oeis };

class ISourceFrame {
public:
    virtual ~ISourceFrame() = default;
    // Which radio button is set; asked again after the formula has run,
    // because a successful "Los!" selects the explicit list.
    virtual SourceKind SelectedSource() = 0;
    // The formula frame's "Los!": writes the members into the explicit list.
    virtual void GenerateFormula() = 0;
    // The lookup frame's "Los!", and the members its memo holds.
    virtual void LookUp() = 0;
    virtual std::string LookupMembers() = 0;
    virtual std::string ExplicitListText() = 0;
};

// A selected formula is generated first; a selected lookup is asked only
// while its memo is empty; otherwise the explicit list is the source.
std::string ReadSourceFrame(ISourceFrame& frame);

// The title of a melody from the source its frame had selected: the formula,
// the lookup's "A000045: Fibonacci numbers" (once it found one) or "Explizite Folge".
std::string SourceTitle(SourceKind source, const std::string& formula,
                        const std::string& oeisTitle);

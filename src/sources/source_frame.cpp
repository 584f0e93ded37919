#include "sources/source_frame.h"

std::string ReadSourceFrame(ISourceFrame& frame) {
    if (frame.SelectedSource() == SourceKind::Formula) frame.GenerateFormula();
    if (frame.SelectedSource() == SourceKind::Oeis) {
        if (frame.LookupMembers().empty()) frame.LookUp();
        return frame.LookupMembers();
    }
    return frame.ExplicitListText();
}

std::string SourceTitle(SourceKind source, const std::string& formula,
                        const std::string& oeisTitle) {
    if (source == SourceKind::Formula) return formula;
    if (source == SourceKind::Oeis && !oeisTitle.empty()) return oeisTitle;
    return "Explizite Folge";
}

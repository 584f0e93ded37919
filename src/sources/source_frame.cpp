#include "sources/source_frame.h"

std::string ReadSourceFrame(ISourceFrame& frame) {
    if (frame.SelectedSource() == SourceKind::Formula) frame.GenerateFormula();
    if (frame.SelectedSource() == SourceKind::Oeis) {
        if (frame.LookupMembers().empty()) frame.LookUp();
        return frame.LookupMembers();
    }
    return frame.ExplicitListText();
}

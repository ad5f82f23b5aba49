// CKSLWCharString::split: a delimited text into a list of its fields.
#include "ksl_wchar_string.h"

// Fields are taken with getField, so white space is removed from each as asked and an empty
// field is kept (as an empty string). From the end, the fields come last to first: every field
// of the text is in the list either way.
bool CKSLWCharString::split(CKSLDblList<CKSLObjNode<CKSLWCharString>>& list, const TextRef& delimiter,
                            unsigned long ulParseMode, const CKSLFlags& sides, const CKSLFlags& whiteSpace) const
{
    return kslCatch(false, KSL_HERE, [&] {
        list.clear();
        const bool bFromEnd = ulParseMode == pmFromEnd;
        const unsigned long ulFieldMode = bFromEnd ? static_cast<unsigned long>(pmFromStart) : ulParseMode;
        const unsigned long ulFields = getOccurrenceCount(delimiter) + 1;
        CKSLWCharString field;
        for (unsigned long i = 0; !bFromEnd || i < ulFields; ++i) {
            const unsigned long ulNumber = bFromEnd ? ulFields - i : i + 1;
            if (!getField(field, delimiter, ulNumber, ulFieldMode, sides, whiteSpace))
                break;
            if (!list.add(field, static_cast<long>(i))) {
                list.clear();
                break;
            }
        }
        return list.getCount() > 0;
    });
}

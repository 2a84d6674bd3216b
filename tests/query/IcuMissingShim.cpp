// IcuMissingShim: ICU's word break iterator as it answers when its data is missing, for the tests of that failure.
//
// ICU's headers rename these to the versioned symbols the library exports
// (ubrk_open_72 and so on), so linked into a test program, or preloaded into
// the command, they stand in for the library's own: every word break
// iterator fails to open with U_MISSING_RESOURCE_ERROR.
#include <unicode/ubrk.h>

U_CAPI UBreakIterator *U_EXPORT2 ubrk_open(UBreakIteratorType, const char *, const UChar *, int32_t,
                                           UErrorCode *status)
{
    *status = U_MISSING_RESOURCE_ERROR;
    return nullptr;
}

U_CAPI UBreakIterator *U_EXPORT2 ubrk_clone(const UBreakIterator *, UErrorCode *status)
{
    *status = U_MISSING_RESOURCE_ERROR;
    return nullptr;
}

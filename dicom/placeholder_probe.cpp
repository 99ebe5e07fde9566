// Placeholder that proves the dicom/ glob and library; removed at merge.
#include <cstddef>

namespace orvel {

std::size_t PlaceholderPointerBits()
{
    return sizeof(void*) * 8;
}

} // namespace orvel

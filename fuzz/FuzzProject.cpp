// Project file reader: any bytes either decode to a record and notes or are refused with the reason
// (exactly when the reason is given), and what a decoded project is written as reads back and is written
// as the same bytes again.
#include "store/StoreFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte chooses whether the checksum is made right before reading, so that the record and
    // notes decoders are reached and not only the checksum test.
    if (size == 0)
        return 0;
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t at = selva::ProjectFileHeader.size();
    if ((data[0] & 1) != 0 && bytes.size() >= at + 4) {
        const std::uint32_t sum = selva::byteSum(std::string_view(bytes).substr(at + 4));
        for (std::size_t i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>(sum >> (8 * i));
    }
    const auto content = selva::decodeProjectFile(bytes);
    if (selva::ProjectFileProblem(bytes).empty() != content.has_value())
        std::abort();
    if (!content)
        return 0;
    const std::string written = selva::encodeProjectFile(content->record, content->notes);
    const auto again = selva::decodeProjectFile(written);
    if (!again || selva::encodeProjectFile(again->record, again->notes) != written)
        std::abort();
    return 0;
}

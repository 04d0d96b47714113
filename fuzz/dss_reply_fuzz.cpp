// Any bytes as the survey server's reply: either a FITS file is left in place
// or a message says what came back.
#include <fstream>

#include "dss/dss_request.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzz::Folder() / "DSSPicture.fit";
    fuzz::WriteFile(path, data, size);
    const std::string message = dss::CheckDssReply(path.string());
    if (message.empty()) {
        std::ifstream in(path, std::ios::binary);
        char head[9] = {};
        in.read(head, 9);
        if (std::string(head, 9) != "SIMPLE  =") __builtin_trap();
    }
    return 0;
}

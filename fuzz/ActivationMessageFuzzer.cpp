#include "ActivationMessage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

// Any local process of the same user can write to the activation socket.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::size_t received = 0; received <= size; received += 1 + received / 2)
        (void)lh::ActivationMessage::check(bytes.substr(0, 16), received);
    if (auto message = lh::ActivationMessage::decode(bytes)) {
        if (message->files.size() > lh::ActivationMessage::limits.files)
            std::abort();
        if (lh::ActivationMessage::decode(message->encoded()) != message)
            std::abort(); // what we write reads back the same
    }
    // Whatever a launch is given, what it sends is read: here the bytes as its token.
    for (const auto& part : lh::ActivationMessage::split({}, std::string(bytes), 1).messages) {
        if (!lh::ActivationMessage::decode(part.encoded()))
            std::abort();
    }
    return 0;
}

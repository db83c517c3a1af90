// The window decoder of binary tokens. It reads the same layout as the
// stream layer's token reader (the form table of udm_binary_tokens.h) with
// the per-token work reduced to what a large packed file needs.
#include "udm/udm_binary_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "udm/udm_binary_tokens.h"
#include "udm/udm_encodings.h"

namespace tarnvel::udm {
namespace {

// The type byte and a 4-byte length.
constexpr std::size_t kTextHeaderSize = 5;
// The longest fixed-size token: type byte and an 8-byte double.
constexpr std::size_t kLongestFixedToken = 9;

}  // namespace

BinaryTokenReader::BinaryTokenReader(UdmStream* stream) : stream_(stream) {}

BinaryTokenReader::~BinaryTokenReader() {
    if (attached_ == this) {
        attached_ = nullptr;
        attached_stream_ = nullptr;
    }
}

bool BinaryTokenReader::Serves(int encoding) {
    if (encoding < 0 || encoding >= kEncodingCount) return false;
    const EncodingInfo& info = encoding_info(encoding);
    // Encodings 3 and 4 scramble the value bytes of each token.
    return info.binary && (info.compressed || info.scrambling == Scrambling::none);
}

void BinaryTokenReader::Attach() {
    attached_stream_ = stream_;
    attached_ = this;
}

void BinaryTokenReader::Refill() {
    const std::size_t unread = Available();
    std::memmove(window_.data(), Here(), unread);
    pos_ = 0;
    end_ = unread;
    const std::size_t room = window_.size() - end_;
    const std::size_t got = udm_stream_read(stream_, window_.data() + end_, room);
    end_ += got;
    if (got < room) input_ended_ = true;
}

int BinaryTokenReader::End(UdmToken* token, bool corrupt) {
    ended_ = true;
    corrupt_ = corrupt_ || corrupt;
    *token = UdmToken{};
    return UDM_TOKEN_END;
}

int BinaryTokenReader::Next(UdmToken* token) {
    if (ended_) return End(token, false);
    if (Available() < kLongestFixedToken) {
        Ensure(kLongestFixedToken);
        if (Available() == 0) return End(token, false);
    }
    const BinaryTokenForm* form = binary_form_of_type(*Here());
    if (form == nullptr) return End(token, false);
    // Only the members of the token's kind are set; the others keep what
    // the previous token left there.
    token->code = form->code;
    token->text = std::string_view();
    if (form->value_size == kLengthPrefixed) {
        if (Available() < kTextHeaderSize) return End(token, true);
        const std::uint32_t length = get_be32(Here() + 1);
        pos_ += kTextHeaderSize;
        if (length > kMaxTextLength || !ReadText(length, token)) return End(token, true);
        return token->code;
    }
    const auto size = static_cast<std::size_t>(form->value_size);
    if (Available() < 1 + size) return End(token, true);
    decode_fixed_value(form->code, form->value_size, Here() + 1, token);
    pos_ += 1 + size;
    return token->code;
}

// A text within the window is handed out in place; a longer one is gathered
// in a buffer that grows with the bytes that arrive, never ahead of them.
bool BinaryTokenReader::ReadText(std::uint32_t length, UdmToken* token) {
    if (length <= window_.size()) {
        Ensure(length);
        if (Available() < length) return false;
        token->text = std::string_view(reinterpret_cast<const char*>(Here()), length);
        pos_ += length;
        return true;
    }
    try {
        std::size_t got = Available();
        long_text_.resize(std::max<std::size_t>(got, kStreamBufferSize));
        std::memcpy(long_text_.data(), Here(), got);
        pos_ = end_;
        while (got < length) {
            const std::size_t want = std::min<std::size_t>(length, 2 * long_text_.size());
            if (long_text_.size() < want) long_text_.resize(want);
            const std::size_t read = udm_stream_read(stream_, long_text_.data() + got, want - got);
            got += read;
            if (got < want) return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    token->text = std::string_view(long_text_.data(), length);
    return true;
}

}  // namespace tarnvel::udm

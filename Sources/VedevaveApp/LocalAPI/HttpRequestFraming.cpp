#include "VedevaveApp/LocalAPI/HttpRequestFraming.h"

#include <limits>

namespace VedevaveApp {

namespace {

constexpr std::string_view headerTerminator = "\r\n\r\n";

using namespace LocalAPIRequestText;

// Parses "[+-]digits" with saturation; nothing when the text is not of that form.
std::optional<int64_t> saturatingInteger(std::string_view text) {
    bool isNegative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        isNegative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    int64_t value = 0;
    constexpr int64_t largest = std::numeric_limits<int64_t>::max();
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const int digit = c - '0';
        value = value > (largest - digit) / 10 ? largest : value * 10 + digit;
    }
    return isNegative ? -value : value;
}

} // namespace

HttpRequestFraming::HttpRequestFraming() : HttpRequestFraming(Limits{}) {}

void HttpRequestFraming::append(std::string_view bytes) {
    if (failure_) {
        return;
    }
    // Drop what has been handed out before the buffer grows, so that pipelined requests do not
    // pile up in memory.
    if (consumed_ > 0) {
        buffer_.erase(0, consumed_);
        scannedTo_ -= std::min(scannedTo_, consumed_);
        consumed_ = 0;
    }
    buffer_.append(bytes);
}

std::string HttpRequestFraming::takeBufferedBytes() {
    std::string rest = buffer_.substr(consumed_);
    buffer_.clear();
    consumed_ = 0;
    scannedTo_ = 0;
    return rest;
}

HttpRequestFraming::Result HttpRequestFraming::fail(int status, const char* error) {
    failure_ = Failure{status, error, true};
    return *failure_;
}

HttpRequestFraming::Result HttpRequestFraming::next() {
    if (failure_) {
        return *failure_;
    }
    const std::string_view pending = std::string_view(buffer_).substr(consumed_);
    // Resume the search a few bytes early: the terminator may straddle two reads.
    const size_t resumeAt = scannedTo_ > consumed_ + 3 ? scannedTo_ - consumed_ - 3 : 0;
    const size_t headerEnd = pending.find(headerTerminator, resumeAt);
    if (headerEnd == std::string_view::npos) {
        scannedTo_ = buffer_.size();
        // The last three bytes may still become the start of the blank line.
        if (pending.size() > limits_.maxHeaderBytes + 3) {
            return fail(431, headerTooLargeText);
        }
        return NeedMore{};
    }
    scannedTo_ = consumed_ + headerEnd;
    if (headerEnd > limits_.maxHeaderBytes) {
        return fail(431, headerTooLargeText);
    }
    const std::string_view headerBlock = pending.substr(0, headerEnd);
    // The body is cut by the raw bytes even when the block turns out to be unusable, so that the
    // next request still starts where the client meant it to.
    const int64_t bodyLength = contentLength(headerBlock);
    if (bodyLength < 0) {
        return fail(400, badRequestText);
    }
    if (static_cast<uint64_t>(bodyLength) > limits_.maxBodyBytes) {
        return fail(413, bodyTooLargeText);
    }
    // Bodies come with a Content-Length only; a chunked body would otherwise be read as requests.
    for (const auto& [name, value] : headerLines(headerBlock)) {
        if (name == "transfer-encoding" && lowercased(value) != "identity") {
            return fail(411, lengthRequiredText);
        }
    }
    const size_t bodyStart = headerEnd + headerTerminator.size();
    const size_t length = static_cast<size_t>(bodyLength);
    if (pending.size() - bodyStart < length) {
        return NeedMore{};
    }
    std::string block(headerBlock);
    std::string body(pending.substr(bodyStart, length));
    consumed_ += bodyStart + length;
    scannedTo_ = consumed_;
    auto parsed = parse(block, std::move(body));
    if (auto* failure = std::get_if<Failure>(&parsed)) {
        return std::move(*failure);
    }
    return std::move(std::get<LocalAPIRequest>(parsed));
}

int64_t HttpRequestFraming::contentLength(std::string_view headerBlock) {
    while (!headerBlock.empty()) {
        const size_t end = headerBlock.find("\r\n");
        const std::string_view line = headerBlock.substr(0, end);
        headerBlock = end == std::string_view::npos ? std::string_view() : headerBlock.substr(end + 2);
        const size_t colon = line.find(':');
        if (line.empty() || colon == std::string_view::npos) {
            continue;
        }
        if (lowercased(line.substr(0, colon)) == "content-length") {
            return saturatingInteger(trimmed(line.substr(colon + 1))).value_or(0);
        }
    }
    return 0;
}

std::variant<LocalAPIRequest, HttpRequestFraming::Failure>
HttpRequestFraming::parse(std::string_view headerBlock, std::string body) {
    const Failure badRequest{400, badRequestText, false};
    if (!isValidUTF8(headerBlock)) {
        return badRequest;
    }
    const std::string_view requestLine = headerBlock.substr(0, headerBlock.find("\r\n"));
    std::vector<std::string_view> words;
    size_t position = 0;
    while (position < requestLine.size()) {
        const size_t start = requestLine.find_first_not_of(' ', position);
        if (start == std::string_view::npos) {
            break;
        }
        const size_t end = std::min(requestLine.find(' ', start), requestLine.size());
        words.push_back(requestLine.substr(start, end - start));
        position = end;
    }
    if (words.size() < 2) {
        return badRequest;
    }
    const std::string_view target = words[1];
    const size_t question = target.find('?');
    LocalAPIRequest request;
    request.method = uppercased(words[0]);
    request.path = std::string(target.substr(0, question));
    if (request.path.empty()) {
        return badRequest;
    }
    if (question != std::string_view::npos) {
        request.query = decodeQuery(target.substr(question + 1));
    }
    request.headerBlock = std::string(headerBlock);
    request.headers = headerLines(headerBlock);
    request.body = std::move(body);
    return request;
}

} // namespace VedevaveApp

// vedevave-cli: one command, one request to the local API, one answer printed.
#include "CLI/CLICommand.h"
#include "CLI/CLIOutput.h"
#include "Runtime/HttpClient.h"

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> readFile(const std::string& path) {
    if (path == "-") {
        std::ostringstream text;
        text << std::cin.rdbuf();
        return std::cin.bad() ? std::nullopt : std::optional<std::string>(text.str());
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

int finish(const CLI::CLIOutcome& outcome) {
    std::fputs(outcome.standardOutput.c_str(), stdout);
    std::fputs(outcome.standardError.c_str(), stderr);
    return outcome.exitStatus;
}

Runtime::HttpRequest httpRequest(const CLI::CLIOptions& options, const CLI::CLIRequest& request) {
    Runtime::HttpRequest http;
    http.method = request.method;
    http.url = "http://" +
               (options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host) + ":" +
               std::to_string(options.port) + request.path;
    if (request.body) {
        http.body = *request.body;
        http.headers.emplace_back("Content-Type", "application/json");
    }
    if (!options.token.empty()) {
        http.headers.emplace_back("Authorization", "Bearer " + options.token);
    }
    http.timeout = std::chrono::seconds(request.timeoutSeconds);
    return http;
}

} // namespace

int main(int argc, char** argv) {
    Runtime::initializeHttp();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = CLI::parseCommandLine(arguments, environment("VEDEVAVE_API_PORT"),
                                        environment("VEDEVAVE_API_TOKEN"), readFile);
    if (auto* error = std::get_if<CLI::CLIUsageError>(&parsed)) {
        return finish(CLI::renderUsageError(error->message));
    }
    const auto& invocation = std::get<CLI::CLIInvocation>(parsed);
    if (std::holds_alternative<std::monostate>(invocation.action)) {
        std::fputs(CLI::usageText().c_str(), stdout);
        return CLI::exitOK;
    }
    const auto& request = std::get<CLI::CLIRequest>(invocation.action);

    asio::io_context context;
    std::optional<Runtime::HttpResponse> response;
    std::exception_ptr failure;
    auto exchange = [&]() -> asio::awaitable<void> {
        response = co_await Runtime::HttpClient::shared().perform(httpRequest(invocation.options, request));
    };
    auto done = [&](std::exception_ptr error) { failure = error; };
    asio::co_spawn(context, exchange, done);
    context.run();

    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const Runtime::HttpError& error) {
            if (error.kind() == Runtime::HttpError::Kind::cannotConnect) {
                return finish(CLI::renderUnreachable(invocation.options, error.description()));
            }
            return finish(CLI::renderTransportError(invocation.options, error.description()));
        } catch (const std::exception& error) {
            return finish(CLI::renderTransportError(invocation.options, error.what()));
        }
    }
    if (request.imageFile) {
        return finish(CLI::renderImage(invocation.options, *request.imageFile, response->status,
                                       response->header("content-type").value_or(""), response->body,
                                       writeFile));
    }
    return finish(CLI::renderAnswer(invocation.options, response->status, response->body));
}

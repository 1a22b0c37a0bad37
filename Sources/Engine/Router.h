// The control server's route table: (method, path) to a handler. Unknown paths answer 404 with
// {"error": "Not Found"} and no code, which the application reads as "operation not supported";
// a known path with another method answers 405. BadRequest from a handler
// becomes 400 and any other exception 500, never a crash. Io thread only.
#pragma once

#include "Engine/HttpMessage.h"

#include <functional>
#include <string>
#include <vector>

namespace Engine {

class Router {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    void add(std::string method, std::string path, Handler handler);
    HttpResponse handle(const HttpRequest& request) const;

private:
    struct Route {
        std::string method;
        std::string path;
        Handler handler;
    };
    std::vector<Route> routes_;
};

} // namespace Engine

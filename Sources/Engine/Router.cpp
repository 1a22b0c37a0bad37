#include "Engine/Router.h"

#include "Engine/RequestBody.h"

#include <cstdio>

namespace Engine {

void Router::add(std::string method, std::string path, Handler handler) {
    routes_.push_back({std::move(method), std::move(path), std::move(handler)});
}

HttpResponse Router::handle(const HttpRequest& request) const {
    bool pathKnown = false;
    for (const auto& route : routes_) {
        if (route.path != request.path) {
            continue;
        }
        pathKnown = true;
        if (route.method != request.method) {
            continue;
        }
        try {
            return route.handler(request);
        } catch (const BadRequest& error) {
            return HttpResponse::error(400, error.code(), error.what());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "DaridiveVarara: %s %s failed: %s\n", request.method.c_str(),
                         request.path.c_str(), error.what());
            return HttpResponse::error(500, "internal_error", error.what());
        }
    }
    if (pathKnown) {
        return HttpResponse::error(405, "method_not_allowed",
                                   "Method " + request.method + " is not allowed on " + request.path + ".");
    }
    return HttpResponse::json(404, {{"ok", false}, {"error", "Not Found"}});
}

} // namespace Engine

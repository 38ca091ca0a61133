#pragma once

namespace pixbar::service {

/// The OpenAPI 3 description of the API, as served at /api/v1/openapi.json.
extern const char kOpenApiDocument[];

} // namespace pixbar::service

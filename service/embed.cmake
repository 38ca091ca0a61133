# Writes OUTPUT, a C++ file that defines pixbar::service::kOpenApiDocument from INPUT.
file(READ ${INPUT} content)
file(WRITE ${OUTPUT} "#include \"openapi.h\"\nnamespace pixbar::service {\nconst char kOpenApiDocument[] = R\"pixbarjson(${content})pixbarjson\";\n}\n")

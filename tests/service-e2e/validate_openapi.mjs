// Checks an OpenAPI description with a validator this project did not write: the document
// must match the OpenAPI 3.0 schema and every $ref in it must lead somewhere.
import { Validator } from "@seriousme/openapi-schema-validator";

const file = process.argv[2];
const validator = new Validator();
const result = await validator.validate(file);
if (!result.valid) {
    console.error(`${file}: not a valid OpenAPI description`);
    console.error(JSON.stringify(result.errors, null, 2));
    process.exit(1);
}
if (validator.version !== "3.0") {
    console.error(`${file}: OpenAPI ${validator.version}, expected 3.0`);
    process.exit(1);
}
try {
    validator.resolveRefs();
} catch (error) {
    console.error(`${file}: ${error.message}`);
    process.exit(1);
}
console.log(`${file}: valid OpenAPI ${validator.specification.openapi}`);

// The bundled sample database (examples/sample.pdb): a small order book
// that shows every kind of field the export renders.
#pragma once

#include "pdb/byte_io.h"

namespace qv::examples {

Bytes BuildSampleDatabase();

}  // namespace qv::examples

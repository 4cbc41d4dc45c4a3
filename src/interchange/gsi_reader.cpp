#include "interchange/import.h"

namespace ptw3 {

ImportedNetwork readGsi(std::string_view, const InstrumentProfile&, ImportLog& log) {
    log.refused("plik", "odczyt formatu GSI jeszcze niedostępny");
    return {};
}

} // namespace ptw3

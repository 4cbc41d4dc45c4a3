#include "interchange/import.h"

namespace ptw3 {

ImportedNetwork readGamaXml(std::string_view, ImportLog& log) {
    log.refused("plik", "odczyt formatu GNU Gama jeszcze niedostępny");
    return {};
}

} // namespace ptw3

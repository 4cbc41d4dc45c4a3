#include "interchange/import.h"

namespace ptw3 {

ImportedNetwork readLandXml(std::string_view, const InstrumentProfile&, ImportLog& log) {
    log.refused("plik", "odczyt formatu LandXML jeszcze niedostępny");
    return {};
}

} // namespace ptw3

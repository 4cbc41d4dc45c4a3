#include "interchange/gama_export.h"

namespace ptw3 {

GamaExport exportGamaXml(const std::filesystem::path&, const std::filesystem::path&) {
    return {"eksport do formatu GNU Gama jeszcze niedostępny"};
}

} // namespace ptw3

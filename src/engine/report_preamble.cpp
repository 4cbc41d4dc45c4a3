#include "engine/report_preamble.h"

#include "common/encoding.h"
#include "common/number_format.h"

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

constexpr Real movingPointError = 1e-4L; // m: a larger a-priori error makes a moving point

const std::string rule = "  " + std::string(69, '_');

bool isMoving(const Point& p) { return p.mx > movingPointError || p.my > movingPointError; }

std::string referenceRow(const Point& p) {
    return "  |" + rightAlign(p.number, pointNumberWidth) + "|" + fixed(p.x, 13, 4) + "|" +
           fixed(p.y, 13, 4) + "|" + fixed(p.mx, 9, 4) + "|" + fixed(p.my, 9, 4) + "|";
}

void writeParameterTable(const NetworkData& n, const ProblemSize& size, ReportFile& report) {
    const std::string frame = "  -------------------------------------------------------------";
    report.line(frame);
    report.line(cp1250("  | PARAMETRY CAŁKOWITOLICZBOWE SIECI                         |"));
    report.line("  |-----------------------------------------------------------|");
    struct Row {
        std::string_view label;
        int32_t value;
    };
    // clang-format off
    const std::array<Row, 14> rows = {{
        {"  |  Liczba wszystkich punktów sieci             lp = ", n.lp()},
        {"  |  Liczba stałych punktów nawiązania           ls = ", n.ls},
        {"  |  Liczba pseudoobserwacji współrzędnych    lrsxy = ", n.lrsxy},
        {"  |  Liczba punktów wyznaczanych                 lr = ", n.determinedCount()},
        {"  |  Liczba obserwacji kątowych                 lka = ", n.lka1},
        {"  |  Liczba stacji obserwacji kierunkowych      lst = ", n.lst()},
        {"  |  Liczba obserwacji kierunkowych             lki = ", n.lst() + n.reducedDirectionCount},
        {"  |  Liczba azymutów topograficznych           lazt = ", n.laz() - n.lazgps},
        {"  |  Liczba azymutów geodezyjnych (GPS)        lazg = ", n.lazgps},
        {"  |  Liczba długości klasycznych                ldk = ", n.ld() - n.ldgps},
        {"  |  Liczba długości GPS                        ldg = ", n.ldgps},
        {"  |  Liczba niewiadomych współrzednych            n = ", size.unknowns},
        {"  |  Łączna Liczba obserwacji                     m = ", size.observations},
        {"  |  Nadwymiarowość układu obserwacyjnego       m-n = ", size.redundancy()},
    }};
    // clang-format on
    for (const Row& row : rows) {
        report.line(cp1250(row.label) + integer(row.value, 7) + " |");
    }
    report.line(frame);
}

void writeReferencePoints(const NetworkData& n, ReportFile& report) {
    const std::string frame = "  ------------------------------------------------------------------";
    for (const char* line : {
             "  ------------------------------------------------------------------",
             "  | WYKAZ PUNKTÓW NAWIĄZANIA                                       |",
             "  |----------------------------------------------------------------|",
             "  | NR PUNKTU      |         X   |         Y   | błędności a-priori|",
             "  |  (nazwa)       |             |             |-------------------|",
             "  |                |             |             |     mX  |    mY   |",
             "  |----------------|-------------|-------------|---------|---------|",
         }) {
        report.line(cp1250(line));
    }
    for (int32_t i = n.determinedCount() + 1; i <= n.lp(); ++i) {
        report.line(referenceRow(n.points[i]));
    }
    if (n.lp() > 0 && isMoving(n.points[1])) {
        report.line(cp1250("  |               .... ruchome punkty nawiązania ....              |"));
    }
    for (const Point& p : n.points) {
        if (isMoving(p)) {
            report.line(referenceRow(p));
        }
    }
    report.line(frame);
}

void writeOptions(const NetworkData& n, const CalculationOptions& options, ReportFile& report) {
    report.line(cp1250("  OPCJE SPECJALNE WYRÓWNANIA:"));
    if (options.principle == AdjustmentPrinciple::LeastSquares) {
        report.line(cp1250("   Metoda najmniejszych kwadratów - standard"));
    } else {
        report.line("   Metoda estymacji mocnej");
        switch (options.principle) {
        case AdjustmentPrinciple::RobustDistances:
            report.line(cp1250("    w odniesieniu do długości"));
            break;
        case AdjustmentPrinciple::RobustAngles:
            report.line(cp1250("    w odniesieniu do kątów"));
            break;
        default:
            report.line(cp1250("    dla długości i kątów"));
            break;
        }
        report.line(cp1250("   UWAGA! WYNIKI MAJĄ TYLKO ZNACZENIE KONTROLNE,"));
        report.line(cp1250("          MOGĄ BYĆ BŁĘDNE I NIE NALEŻY ICH UŻYWAC!!"));
        report.line(cp1250("          PO POPRAWIENIU EWENTUALNYCH BŁĘDÓW"));
        report.line(cp1250("          NALEŻY ZASTOSOWAĆ METODĘ STANDARDOWĄ"));
    }
    report.line(n.parameters.angleMeasure == 360
                    ? cp1250("   Przeliczono kąty/kierunki z miary stopniowej na gradową")
                    : std::string("   Miara gradowa"));
    report.line(cp1250("   Błędy średnie obserwacji wyrównanych są liczone na podstawie"));
    report.line(options.analysisMode == AnalysisMode::Approximate
                    ? cp1250("   tw. O t r ę b s k i e g o ")
                    : cp1250("   pełnej macierzy kowariancyjnej"));
}

// Returns the number of points without control.
int32_t writeDeterminability(const NetworkData& n, ReportFile& report) {
    const std::string frame =
        "  -------------------------------------------------------------------------------";
    for (const char* line : {
             "  -------------------------------------------------------------------------------",
             "  |  WYZNACZALNOŚCI PUNKTÓW                                                     |",
             "  |  Ilość obserwacji wiążących dany punkt z innymi punktami sieci:             |",
             "  |       q - ogółem (według zbiorów obserwacyjnych),                           |",
             "  |      q0 - tylko dla różnych elementów geometrycznych,                       |",
             "  |    q-q0 - powtórzenia pomiarów tych samych elementów geometrycznych sieci.  |",
             "  |  Oznaczenia w komentarzu:                                                   |",
             "  |       s - stały punkt nawiązania,                                           |",
             "  |      rs - ruchomy punkt nawiązania (z błędnościami współrzędnych)           |",
             "  |-----------------------------------------------------------------------------|",
             "  |  lp |  Numer (nazwa) |    Obserwacje wiążące    |      KOMENTARZE           |",
             "  |     |    punktu      |--------------------------|                           |",
             "  |     |                |   q    |   q0   |(q-q0)  |                           |",
             "  |     |                |[ogólem]| [różne]|        |                           |",
             "  |-----|----------------|--------|--------|--------|---------------------------|",
         }) {
        report.line(cp1250(line));
    }
    int32_t withoutControl = 0;
    for (int32_t k = 1; k <= n.lp(); ++k) {
        const Point& p = n.points[k];
        std::string comment;
        if (p.mx > 0 || p.my > 0) {
            const Real mp = roundHalfEven(std::sqrt(p.mx * p.mx + p.my * p.my) * 10000) * 0.0001L;
            comment = " rs  (Mp = " + general(mp) + "m)        |";
        } else if (k > n.determinedCount()) {
            comment = " s                         |";
        } else if (p.linkCount < fewestLinksForControl) {
            comment = "  ** punkt bez kontroli    |";
            ++withoutControl;
        } else {
            comment = std::string(27, ' ') + "|";
        }
        report.line("  |" + integer(k, 5) + "|" + rightAlign(p.number, pointNumberWidth) + "|" +
                    integer(p.observationCount, 8) + "|" + integer(p.linkCount, 8) + "|" +
                    integer(p.observationCount - p.linkCount, 8) + "|" + comment);
    }
    report.line(frame);
    return withoutControl;
}

} // namespace

ProblemSize problemSize(const NetworkData& n) {
    ProblemSize size;
    size.unknowns = 2 * n.determinedCount();
    size.observations = n.lka1 + n.reducedDirectionCount + n.ld() + n.laz() + n.lrsxy;
    return size;
}

ProblemSize writePreamble(const NetworkData& n, const CalculationOptions& options,
                          const ProjectionParameters& projection, ReportFile& report,
                          RunContext& context) {
    const auto& title = n.title;
    const LocalDateTime now = context.now();
    report.line(cp1250("  ptw3 - system wyrównania sieci geodezyjnych  (c) 2006  zespół ptw3"));
    report.line(cp1250("  PROGRAM WYRÓWNANIA SIECI POZIOMEJ [max. 20000 punktów],  wersja 5.8va"));
    report.line(rule);
    report.line("  OBIEKT: " + title[1]);
    report.line("  WYKONAWCA: " + title[0]);
    report.line("  INDEKS ROBOTY: " + title[2]);
    report.line("  DATA:" + formatShortDate(now));
    report.line("  " + title[4]);
    report.line(rule);
    report.line(cp1250("  Początek obliczeń:") + formatTimeOfDay(now));
    report.line(" ");
    report.line("  OPIS OBIEKTU:");
    if (options.system.system == CoordinateSystem::Utm) {
        report.line(cp1250("  UKŁAD WSPÓŁRZĘDNYCH: UTM (WGS-84) "));
    } else {
        report.line(cp1250("  UKŁAD WSPÓŁRZĘDNYCH: ") +
                    integer(systemNumber(options.system.system), 6) +
                    "  Strefa: " + integer(options.system.zone, 3));
    }
    if (options.system.system != CoordinateSystem::Local) {
        report.line("  PARAMETRY ELIPSOIDY ODNIESIENIA: ");
        report.line("   a = " + fixed(projection.semiMajorAxis, 13, 4) + "m");
        report.line("   b = " + fixed(projection.semiMinorAxis, 13, 4) + "m");
    }
    report.line("  ");

    ProblemSize size = problemSize(n);
    writeParameterTable(n, size, report);
    context.message(cp1250(" Liczba punktów sieci              lp = ") + std::to_string(n.lp()));
    context.message(cp1250(" Liczba stałych punktów nawiązania ls = ") + std::to_string(n.ls));
    context.message(" Liczba obserwacji/pseudoobserwacji m = " +
                    std::to_string(size.observations));
    context.message(" Liczba niewiadomych                n = " + std::to_string(size.unknowns));

    const Real z = size.redundancy() / (size.observations + 1e-6L);
    report.line(cp1250("  GLOBALNY WSKAŹNIK NIEZAWODNOŚCI:  z =") + fixed(z, 5, 4) + "  z% = " +
                fixed(100 * z, 5, 1) + "%");
    report.line("  ");
    writeReferencePoints(n, report);
    report.line("  ");
    writeOptions(n, options, report);
    size.pointsWithoutControl = writeDeterminability(n, report);

    const std::string count = std::to_string(size.pointsWithoutControl);
    report.line(cp1250("  LICZBA PUNKTÓW BEZ KONTROLI = ") + count);
    context.message(cp1250(" Liczba punktów bez kontroli = ") + count +
                    (size.pointsWithoutControl > 0 ? " [ ! ]" : " "));
    context.message(cp1250(" WYRÓWNANIE OBSERWACJI - proszę czekać"));
    return size;
}

} // namespace ptw3

// ReportLayout::fromJson: an accepted layout is valid and survives toJson() and fromJson()
// unchanged; a refused one comes with an error text.

#include "FuzzCheck.h"
#include "reports/ReportLayout.h"

using namespace bx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const std::optional<ReportLayout> layout = ReportLayout::fromJson(json, &error);
    if (!layout) {
        fuzz::check(!error.trimmed().isEmpty(), "a refused layout names its fault");
        return 0;
    }
    fuzz::check(error.isEmpty(), "an accepted layout reports no error", error);
    fuzz::check(layout->validationError().isEmpty(), "an accepted layout is valid",
                layout->validationError());

    QString again;
    const QByteArray written = layout->toJson();
    const std::optional<ReportLayout> read = ReportLayout::fromJson(written, &again);
    fuzz::check(read.has_value(), "a written layout reads again",
                again + QLatin1Char('\n') + QString::fromUtf8(written));
    fuzz::check(*read == *layout, "a written layout reads again unchanged",
                QString::fromUtf8(written));
    return 0;
}

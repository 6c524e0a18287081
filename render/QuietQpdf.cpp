#include "render/QuietQpdf.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>

std::unique_ptr<QPDF> newQuietQpdf()
{
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    auto pdf = std::make_unique<QPDF>();
    pdf->setLogger(logger);
    pdf->setSuppressWarnings(true);
    return pdf;
}

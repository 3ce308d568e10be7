#include "configcontext.h"

namespace quellix::config {

ConfigContext &configContext()
{
    static ConfigContext context;
    return context;
}

ViewerContext &viewerContext()
{
    static ViewerContext context;
    return context;
}

ChartWindow &chartWindow()
{
    static ChartWindow window;
    return window;
}

QVector<SampleText> &sampleBuffer()
{
    static QVector<SampleText> buffer;
    return buffer;
}

QString &chosenProgramPath()
{
    static QString path;
    return path;
}

} // namespace quellix::config

#include "home/OutputNames.h"

#include "home/WatermarkRouting.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <vector>

namespace {

// Whether an input's folder is the output folder, symbolic links and "." or ".." resolved. The
// input's own name is not resolved: a link in the output folder is overwritten through, so its
// target is replaced just as a plain file there would be. A batch lists many files from few
// folders, so each folder is resolved once.
class OutputFolderMatch
{
public:
    explicit OutputFolderMatch(const QString& outputFolder)
        // An empty path would name the working directory.
        : m_outputFolder(outputFolder.isEmpty() ? QString() : QDir(outputFolder).canonicalPath())
    {}

    bool holds(const QString& input)
    {
        if (m_outputFolder.isEmpty() || input.isEmpty())
            return false;
        const QString folder = QFileInfo(input).absolutePath();
        auto found = m_resolved.constFind(folder);
        if (found == m_resolved.constEnd())
            found = m_resolved.insert(folder, QDir(folder).canonicalPath());
        return *found == m_outputFolder;
    }

private:
    QString m_outputFolder;
    QHash<QString, QString> m_resolved;
};

QString numbered(const QString& name, int number)
{
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        dot = name.size();
    return name.left(dot) + QStringLiteral(" (%1)").arg(number) + name.mid(dot);
}

bool routed(const QString& input)
{
    return !input.isEmpty() && WatermarkRouting::routeFor(input).has_value();
}

} // namespace

QStringList OutputNames::forBatch(const QStringList& inputs, const QString& outputFolder)
{
    OutputFolderMatch inOutputFolder(outputFolder);
    // Case-folded, so two names a case-insensitive disk would take for one never meet.
    QSet<QString> taken;
    // Two inputs of the output folder that differ in case are two files of a case-sensitive disk
    // and both keep their names; the same name twice is one file listed twice, and its second
    // entry is named like an input from elsewhere.
    QSet<QString> keptExactly;
    std::vector<bool> keepsOwnName(inputs.size(), false);
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        if (!routed(inputs[i]) || !inOutputFolder.holds(inputs[i]))
            continue;
        const QString name = QFileInfo(inputs[i]).fileName();
        if (keptExactly.contains(name))
            continue;
        keptExactly.insert(name);
        taken.insert(name.toCaseFolded());
        keepsOwnName[i] = true;
    }

    const QDir folder(outputFolder);
    // Where the search for a free number resumes, so many inputs of one name stay linear.
    QHash<QString, int> nextNumber;
    QStringList paths;
    paths.reserve(inputs.size());
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        if (!routed(inputs[i])) {
            paths.append(QString());
            continue;
        }
        const QString ownName = QFileInfo(inputs[i]).fileName();
        QString name = ownName;
        if (!keepsOwnName[i]) {
            const QString key = ownName.toCaseFolded();
            int& number = nextNumber[key];
            if (number < 2)
                number = 2;
            while (taken.contains(name.toCaseFolded()))
                name = numbered(ownName, number++);
            taken.insert(name.toCaseFolded());
        }
        paths.append(folder.filePath(name));
    }
    return paths;
}

qsizetype OutputNames::inputsInFolder(const QStringList& inputs, const QString& outputFolder)
{
    OutputFolderMatch inOutputFolder(outputFolder);
    return std::count_if(inputs.cbegin(), inputs.cend(),
                         [&](const QString& input) { return inOutputFolder.holds(input); });
}

// Stand-ins for what the panel talks to: answered file dialogs, a recorder of
// message boxes, a sound library for a machine without a sound card, and a
// desktop with or without a PDF viewer.
#pragma once

#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <string>
#include <vector>

#include "DialogKeys.h"
#include "IDesktopOpener.h"
#include "IFileDialogs.h"
#include "IOperatorReport.h"
#include "ISonvoxApi.h"

class CAnsweredFileDialogs : public IFileDialogs {
public:
    struct Shown {
        bool save;
        CFileDialogRequest request;
    };
    // Each dialog takes the next answer; an empty answer (or none left) cancels.
    std::deque<QString> answers;
    std::vector<Shown> shown;

    QString GetOpenPath(QWidget*, const CFileDialogRequest& request) override { return Next(false, request); }
    QString GetSavePath(QWidget*, const CFileDialogRequest& request) override { return Next(true, request); }

private:
    QString Next(bool save, const CFileDialogRequest& request)
    {
        shown.push_back({save, request});
        if (answers.empty())
            return QString();
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class CRecordedReport : public IOperatorReport {
public:
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;  // for the questions; No when none is left

    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override
    {
        questions.push_back(text);
        if (answers.empty())
            return false;
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Clear()
    {
        messages.clear();
        questions.clear();
        answers.clear();
    }
};

// Plays nothing; reports the duration of the WAV file it was given, as the
// library does (44-byte header, 8 bytes a millisecond).
class CSilentSonvox : public ISonvoxApi {
public:
    int initResult = 1;
    int loadResult = 1;
    QStringList calls;
    QString loadedPath;
    unsigned duration = 0;

    int Init(const char* logPath) override
    {
        calls << "Audio_Init";
        initLog = logPath;
        return initResult;
    }
    void Release() override { calls << "Audio_Release"; }
    void PreviewCancel() override { calls << "PreviewCancel"; }
    int LoadPlay(const char* path) override
    {
        calls << "LoadPlay";
        loadedPath = QString::fromLocal8Bit(path);
        const qint64 size = QFileInfo(loadedPath).size();
        duration = size > 44 ? unsigned((size - 44) / 8) : 0;
        return loadResult;
    }
    unsigned GetDuration() override
    {
        calls << "GetDuration";
        return duration;
    }
    void Preview() override { calls << "Preview"; }

    std::string initLog;
};

class CTestDesktop : public IDesktopOpener {
public:
    bool hasViewer = true;
    QStringList opened;
    bool HasPdfViewer() override { return hasViewer; }
    bool OpenDocument(const QString& path, const QString&) override
    {
        opened << path;
        return true;
    }
};

#include "../tools/DevsimProcess.h"
#include "cli/CliExitCodes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <vector>

// The README's CI examples, taken from README.md as it is (never copied
// here), parsed as YAML as a CI system parses them, and their commands run
// as written against the simulated device: GitLab's shard jobs and report
// job, Kubernetes' pods and the merge after them, and the baseline jobs of
// GitLab and GitHub Actions.

namespace {

struct CBlock {
    QString strInfo;  // what follows the opening ```
    QString strText;
};

std::vector<CBlock> ReadmeBlocks()
{
    QFile file(QStringLiteral(VELKOR_SOURCE_DIR "/README.md"));
    std::vector<CBlock> blocks;
    if (!file.open(QIODevice::ReadOnly))
        return blocks;
    bool bIn = false;
    for (const QString& strLine : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (strLine.startsWith(QLatin1String("```"))) {
            if (!bIn)
                blocks.push_back({strLine.mid(3).trimmed(), QString()});
            bIn = !bIn;
        } else if (bIn) {
            blocks.back().strText += strLine + QLatin1Char('\n');
        }
    }
    return blocks;
}

// The first block of the README in that language holding strText.
QString Block(const QString& strInfo, const QString& strText)
{
    for (const CBlock& block : ReadmeBlocks())
        if (block.strInfo == strInfo && block.strText.contains(strText))
            return block.strText;
    return QString();
}

// YAML read by PyYAML, handed over as JSON.
QJsonObject ParseYaml(const QString& strYaml, QString* pProblem)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import json, sys, yaml; json.dump(yaml.safe_load(sys.stdin), sys.stdout)")});
    python.write(strYaml.toUtf8());
    python.closeWriteChannel();
    if (!python.waitForFinished(30000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        *pProblem = QStringLiteral("python3 with yaml (scripts/setup.sh installs python3-yaml): ") +
                    QString::fromUtf8(python.readAllStandardError()) + python.errorString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// strCommand run by sh in strDir, velkor-cli on the PATH, with environment
// variables added; its exit code (-1: it did not end).
int Shell(const QString& strCommand, const QString& strDir, const QStringList& environment, QString* pOutput)
{
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert(QStringLiteral("PATH"), QFileInfo(QStringLiteral(VELKOR_CLI_PATH)).absolutePath() +
                                                 QLatin1Char(':') + variables.value(QStringLiteral("PATH")));
    for (const QString& strVariable : environment)
        variables.insert(strVariable.section(QLatin1Char('='), 0, 0), strVariable.section(QLatin1Char('='), 1));
    QProcess shell;
    shell.setProcessEnvironment(variables);
    shell.setWorkingDirectory(strDir);
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), strCommand});
    const bool bEnded = shell.waitForFinished(60000);
    *pOutput += QStringLiteral("$ %1\n").arg(strCommand) + QString::fromUtf8(shell.readAll());
    return bEnded && shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1;
}

QJsonObject ReadJson(const QString& strPath)
{
    QFile file(strPath);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Four simulated devices in a device list, and a script for them: the
// fourth (row 4, so shard 1 of 4) has nothing on its port and fails.
class ReadmeExamples : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.Start({QStringLiteral("--devices"), QStringLiteral("4")}));
        quint16 nClosedPort = 0;
        {
            QTcpServer closed;
            ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
            nClosedPort = closed.serverPort();
        }
        ASSERT_TRUE(m_dir.isValid());
        WriteInputs(m_dir.path(), nClosedPort);
    }
    void WriteInputs(const QString& strFolder, quint16 nClosedPort)
    {
        QFile list(strFolder + QStringLiteral("/cams.csv"));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write(QStringLiteral("name,host,port\ncam-1,127.0.1.1,%1\ncam-2,127.0.1.2,%1\ncam-3,127.0.1.3,%1\n"
                                  "cam-4,127.0.0.1,%2\n")
                       .arg(m_sim.port())
                       .arg(nClosedPort)
                       .toUtf8());
        QFile script(strFolder + QStringLiteral("/ptz.cmf"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("http://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n");
    }

    devsimtest::Devsim m_sim;
    QTemporaryDir m_dir;
};

TEST_F(ReadmeExamples, GitLabPipelineRunsItsShardsAndMergesThem)
{
    const QString strYaml = Block(QStringLiteral("yaml"), QStringLiteral("--shard $CI_NODE_INDEX/$CI_NODE_TOTAL"));
    ASSERT_FALSE(strYaml.isEmpty()) << "no GitLab example in the README";
    QString strProblem;
    const QJsonObject pipeline = ParseYaml(strYaml, &strProblem);
    ASSERT_FALSE(pipeline.isEmpty()) << strProblem.toStdString();

    // Every job's stage is one of the pipeline's stages, and a job needs
    // only jobs there are, of its stage or an earlier one.
    const QJsonArray stages = pipeline[QStringLiteral("stages")].toArray();
    ASSERT_FALSE(stages.isEmpty()) << "no stages: the pipeline is not created";
    QStringList jobs;
    for (auto it = pipeline.begin(); it != pipeline.end(); ++it)
        if (it.value().toObject().contains(QStringLiteral("script")))
            jobs << it.key();
    ASSERT_EQ(jobs, (QStringList{QStringLiteral("fleet"), QStringLiteral("fleet-report")}));
    for (const QString& strJob : jobs) {
        const QJsonObject job = pipeline[strJob].toObject();
        const qsizetype nStage = stages.toVariantList().indexOf(job[QStringLiteral("stage")].toVariant());
        EXPECT_GE(nStage, 0) << strJob.toStdString() << ": stage " << job[QStringLiteral("stage")].toString().toStdString();
        for (const QJsonValue& need : job[QStringLiteral("needs")].toArray()) {
            ASSERT_TRUE(jobs.contains(need.toString())) << strJob.toStdString();
            EXPECT_LE(stages.toVariantList().indexOf(pipeline[need.toString()][QStringLiteral("stage")].toVariant()),
                      nStage);
        }
    }

    // The shard jobs as GitLab runs them, each with its CI_NODE_INDEX; a job
    // ends at its first failing line. Only shard 1 holds the failing device.
    const QJsonObject fleet = pipeline[QStringLiteral("fleet")].toObject();
    const int nJobs = fleet[QStringLiteral("parallel")].toInt();
    ASSERT_GE(nJobs, 2);
    QString strLog;
    for (int nIndex = 1; nIndex <= nJobs; ++nIndex) {
        int nExit = 0;
        for (const QJsonValue& line : fleet[QStringLiteral("script")].toArray())
            if (nExit == 0)
                nExit = Shell(line.toString(), m_dir.path(),
                              {QStringLiteral("CI_NODE_INDEX=%1").arg(nIndex), QStringLiteral("CI_NODE_TOTAL=%1").arg(nJobs)},
                              &strLog);
        EXPECT_EQ(nExit, nIndex == 1 ? kExitRequestFailed : kExitOk) << "job " << nIndex << "\n" << strLog.toStdString();
    }
    for (const QJsonValue& glob : fleet[QStringLiteral("artifacts")][QStringLiteral("paths")].toArray())
        EXPECT_EQ(QDir(m_dir.path()).entryList({glob.toString()}, QDir::Files).size(), nJobs) << glob.toString().toStdString();

    // The report job: the merge fails as the fleet did, and leaves the
    // artifacts it names.
    const QJsonObject report = pipeline[QStringLiteral("fleet-report")].toObject();
    int nExit = 0;
    for (const QJsonValue& line : report[QStringLiteral("script")].toArray())
        if (nExit == 0)
            nExit = Shell(line.toString(), m_dir.path(), {}, &strLog);
    EXPECT_EQ(nExit, kExitRequestFailed) << strLog.toStdString();
    const QJsonObject artifacts = report[QStringLiteral("artifacts")].toObject();
    QStringList files;
    for (const QJsonValue& path : artifacts[QStringLiteral("paths")].toArray())
        files << path.toString();
    files << artifacts[QStringLiteral("reports")][QStringLiteral("junit")].toString();
    for (const QString& strFile : files)
        EXPECT_TRUE(QFile::exists(m_dir.filePath(strFile))) << strFile.toStdString() << "\n" << strLog.toStdString();
    const QJsonObject merged = ReadJson(m_dir.filePath(QStringLiteral("fleet.json")));
    EXPECT_EQ(merged[QStringLiteral("devices")].toArray().size(), 4);
    EXPECT_EQ(merged[QStringLiteral("exit_code")].toInt(), kExitRequestFailed);
    EXPECT_EQ(merged[QStringLiteral("stats_total")][QStringLiteral("failed")].toInt(), 1);
}

TEST_F(ReadmeExamples, KubernetesPodsSucceedOnlyWithTheirReport)
{
    const QString strYaml = Block(QStringLiteral("yaml"), QStringLiteral("kind: Job"));
    ASSERT_FALSE(strYaml.isEmpty()) << "no Kubernetes example in the README";
    QString strProblem;
    const QJsonObject job = ParseYaml(strYaml, &strProblem);
    ASSERT_FALSE(job.isEmpty()) << strProblem.toStdString();
    const QJsonObject jobBody = job[QStringLiteral("spec")].toObject();
    EXPECT_EQ(jobBody[QStringLiteral("completionMode")].toString(), QStringLiteral("Indexed"));
    const int nPods = jobBody[QStringLiteral("completions")].toInt();
    ASSERT_GE(nPods, 2);
    const QJsonObject container =
        jobBody[QStringLiteral("template")][QStringLiteral("spec")][QStringLiteral("containers")][0].toObject();
    ASSERT_EQ(container[QStringLiteral("command")].toArray(), (QJsonArray{QStringLiteral("sh"), QStringLiteral("-c")}));
    const QString strWrapper = container[QStringLiteral("args")][0].toString();
    ASSERT_TRUE(strWrapper.contains(QStringLiteral("--shard $((JOB_COMPLETION_INDEX + 1))/%1 ").arg(nPods)))
        << strWrapper.toStdString();

    // The volumes' mount points become folders of the test; nothing else of
    // the commands changes.
    auto mounted = [this](const QString& strText, const QString& strReports) {
        return QString(strText)
            .replace(QStringLiteral("/config/"), m_dir.path() + QLatin1Char('/'))
            .replace(QStringLiteral("/reports/"), strReports + QLatin1Char('/'));
    };
    const QString strReports = m_dir.filePath(QStringLiteral("reports"));
    ASSERT_TRUE(QDir().mkpath(strReports));
    QString strLog;
    // Every pod succeeds: shard 1's failed device is left to the merge.
    for (int nIndex = 0; nIndex < nPods; ++nIndex)
        EXPECT_EQ(Shell(mounted(strWrapper, strReports), m_dir.path(),
                        {QStringLiteral("JOB_COMPLETION_INDEX=%1").arg(nIndex)}, &strLog),
                  0)
            << strLog.toStdString();
    const QString strMerge = Block(QStringLiteral("sh"), QStringLiteral("velkor-cli merge /reports/"));
    ASSERT_FALSE(strMerge.isEmpty()) << "no merge after the Kubernetes example";
    EXPECT_EQ(Shell(mounted(strMerge.trimmed(), strReports), m_dir.path(), {}, &strLog), kExitRequestFailed)
        << strLog.toStdString();
    EXPECT_EQ(ReadJson(strReports + QStringLiteral("/fleet.json"))[QStringLiteral("devices")].toArray().size(), 4);
    EXPECT_TRUE(QFile::exists(strReports + QStringLiteral("/fleet.html")));

    // Shard 1's report cannot be written (a full device, as /dev/full, a
    // node of its own here): its pod fails, though its device's failure
    // alone would be left to the merge.
    const QString strLost = m_dir.filePath(QStringLiteral("lost"));
    ASSERT_TRUE(QDir().mkpath(strLost));
    const QByteArray full = QFile::encodeName(strLost + QStringLiteral("/shard-1.json"));
    ASSERT_EQ(mknod(full.constData(), S_IFCHR | 0666, makedev(1, 7)), 0) << std::strerror(errno);
    QString strLostLog;
    const int nExit = Shell(mounted(strWrapper, strLost), m_dir.path(), {QStringLiteral("JOB_COMPLETION_INDEX=0")},
                            &strLostLog);
    EXPECT_EQ(nExit, kExitFileError) << strLostLog.toStdString();
    EXPECT_TRUE(strLostLog.contains(QStringLiteral("shard-1.json was not written: No space left on device")))
        << strLostLog.toStdString();
}

// The baseline jobs: without a last good run they pass; with one, made
// against a quick device, a run against a device 100 ms slower per answer
// (far beyond what a busy machine adds to a loopback answer)
// fails them with compare's exit code. curl and gh are stand-ins that hand
// over the baseline (VELKOR_BASELINE) as the artefact, or fail without one.
TEST(ReadmeBaselines, GitLabAndGitHubJobsFailOnARealRegression)
{
    const QString strGitLab = Block(QStringLiteral("yaml"), QStringLiteral("jobs/artifacts/"));
    const QString strGitHub = Block(QStringLiteral("yaml"), QStringLiteral("gh run download"));
    ASSERT_FALSE(strGitLab.isEmpty() || strGitHub.isEmpty()) << "no baseline examples in the README";
    QString strProblem;
    const QJsonObject gitlab = ParseYaml(strGitLab, &strProblem);
    const QJsonObject github = ParseYaml(strGitHub, &strProblem);
    ASSERT_FALSE(gitlab.isEmpty() || github.isEmpty()) << strProblem.toStdString();
    QStringList gitlabLines;
    for (const QJsonValue& line : gitlab[QStringLiteral("firmware-check")][QStringLiteral("script")].toArray())
        gitlabLines << line.toString();
    QStringList githubLines;
    for (const QJsonValue& step : github[QStringLiteral("jobs")][QStringLiteral("firmware-check")][QStringLiteral("steps")].toArray())
        if (step.toObject().contains(QStringLiteral("run")))
            githubLines << step[QStringLiteral("run")].toString();
    ASSERT_EQ(gitlabLines.size(), 3);
    ASSERT_EQ(githubLines.size(), 3);

    devsimtest::Devsim quick;
    devsimtest::Devsim slow;
    ASSERT_TRUE(quick.Start({}));
    ASSERT_TRUE(slow.Start({QStringLiteral("--delay"), QStringLiteral("100")}));
    QTemporaryDir dir;
    const QString strTools = dir.filePath(QStringLiteral("tools"));
    ASSERT_TRUE(QDir().mkpath(strTools));
    const auto tool = [&strTools](const char* pszName, const QByteArray& script) {
        QFile file(strTools + QLatin1Char('/') + QLatin1String(pszName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + script);
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    };
    tool("curl", "[ -f \"$VELKOR_BASELINE\" ] || exit 22\n"
                 "while [ $# -gt 0 ]; do [ \"$1\" = --output ] && cp \"$VELKOR_BASELINE\" \"$2\"; shift; done\n");
    tool("gh", "[ -f \"$VELKOR_BASELINE\" ] || exit 0\n"
               "case $2 in list) echo 7 ;; download) mkdir -p \"$7\" && cp \"$VELKOR_BASELINE\" \"$7/run.json\" ;; esac\n");
    const QString strPath = QStringLiteral("PATH=%1:%2:%3")
                                .arg(strTools, QFileInfo(QStringLiteral(VELKOR_CLI_PATH)).absolutePath(),
                                     qEnvironmentVariable("PATH"));
    const QString strBaseline = dir.filePath(QStringLiteral("last-good.json"));
    const auto script = [&dir](quint16 nPort) {
        QFile file(dir.filePath(QStringLiteral("ptz.cmf")));
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("While(20)\nhttp://127.0.0.1:%1/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\n"
                                  "End\n").arg(nPort).toUtf8());
    };
    // A job's lines in order, up to the first that fails: its exit code.
    const auto job = [&](const QStringList& lines, QString* pLog) {
        for (const QString& strLine : lines) {
            const int nExit = Shell(strLine, dir.path(), {strPath, QStringLiteral("VELKOR_BASELINE=") + strBaseline}, pLog);
            if (nExit != 0)
                return nExit;
        }
        return 0;
    };
    QString strLog;
    script(quick.port());
    EXPECT_EQ(job(gitlabLines, &strLog), kExitOk) << strLog.toStdString();
    EXPECT_EQ(job(githubLines, &strLog), kExitOk) << strLog.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("compare.html"))));
    // This run is the last good one; the firmware then gets slower.
    ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("run.json")), strBaseline));
    script(slow.port());
    EXPECT_EQ(job(gitlabLines, &strLog), kExitRegression) << strLog.toStdString();
    for (const char* pszFile : {"compare.xml", "compare.html"})
        EXPECT_TRUE(QFile::exists(dir.filePath(QLatin1String(pszFile)))) << pszFile;
    QFile::remove(dir.filePath(QStringLiteral("compare.html")));
    EXPECT_EQ(job(githubLines, &strLog), kExitRegression) << strLog.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("compare.html"))));
    EXPECT_TRUE(strLog.contains(QStringLiteral("velkor-cli: NEW is worse than BASE beyond --fail-on-regression: line 2: p95 +")))
        << strLog.toStdString();
}

}  // namespace

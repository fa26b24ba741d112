#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A Wine prefix of its own under a temporary folder, made fresh for one test program and removed with it, so
// a test never touches the user's own prefix. Programs run quietly: no debug channels, no offer to install
// Mono or Gecko, and no display unless the test gives one.
class WinePrefix
{
public:
    struct Result
    {
        bool finished = false; // false: the hang guard ended it
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    // The width of a Windows program. Once Wine's 32-bit half is installed, Debian's `wine` command is the
    // 32-bit loader: builtins it starts by name (reg, regsvr32, start, wineboot) are then 32-bit programs
    // that see the 32-bit registry view. So no call here goes through that command; each names its loader or
    // program by width.
    enum class Bits
    {
        x64,
        x86
    };
    // Wine's loader for programs of that width.
    static QString loader(Bits bits);
    // A program of Windows' own (reg, regsvr32, ...) of that width, by its path in the prefix.
    static QString systemProgram(const QString &name, Bits bits);

    WinePrefix();
    ~WinePrefix();
    WinePrefix(const WinePrefix &) = delete;
    WinePrefix &operator=(const WinePrefix &) = delete;

    // Empty when the prefix is ready; else why not.
    QString error() const { return m_error; }
    // Whether 32-bit Windows programs run here: they need Wine's 32-bit half and a system that runs 32-bit
    // code (a Linux kernel can have that switched off).
    bool runs32BitPrograms() const;

    // Runs `program args...` with Wine's 64-bit loader in `workDir` (a Unix folder; empty: the prefix's
    // folder) with `extraEnv` ("NAME=value") added, and waits for it to end. A builtin named without a path
    // ("reg", "regsvr32") is the 64-bit one; a 32-bit program named by its path runs 32-bit (systemProgram()
    // names the 32-bit builtins). The guard only ends a program that hangs.
    Result run(const QString &program, const QStringList &args, const QStringList &extraEnv = {},
               const QString &workDir = {}, int hangGuardMs = 10 * 60 * 1000) const;

    // Starts `program args...` as run() does and returns at once; the caller owns the running process.
    std::unique_ptr<QProcess> start(const QString &program, const QStringList &args,
                                    const QStringList &extraEnv = {}, const QString &workDir = {}) const;

    // Waits until every program of the prefix has ended.
    void waitForPrograms() const;
    // Ends every program of the prefix, its desktop process included. Wine's desktop keeps the display it
    // started with: a program that needs another display (or one at all) must start after this.
    void endPrograms() const;

    // Copies the Windows files (*.dll, *.exe) of `bin` into "Program Files\Vistrel", as an installer would;
    // returns that folder, or an empty string when a copy failed.
    QString copyWindowsFiles(const QString &bin) const;
    // Writes the 64-bit library `from` to `to` marked as one for 32-bit x86 in its PE header; false when
    // `from` is no 64-bit library or a file failed.
    static bool writeAs32BitLibrary(const QString &from, const QString &to);

    // A Unix path as Windows programs under Wine see it (drive Z: is the Unix root).
    static QString windowsPath(const QString &unixPath);

    // The environment programs of this prefix run with.
    QProcessEnvironment environment(const QStringList &extraEnv = {}) const;

    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_error;
};

// Shared by probe.exe and bench/watch.exe: argument checks, env changes, starting the child.
#pragma once

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

// Each program prints its events its own way; the pieces here print through its emit.
typedef void (*emit_fn)(const char *event, const std::string &fields);
typedef bool (*step_test)(const std::string &step);

static inline std::string fmt(const char *f, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, f);
    vsnprintf(buf, sizeof buf, f, ap);
    va_end(ap);
    return buf;
}

static inline std::string hex(const std::string &s) {
    static const char digits[] = "0123456789abcdef";
    std::string r;
    for (unsigned char c : s) {
        r += digits[c >> 4];
        r += digits[c & 15];
    }
    return r;
}

static inline std::string read_file(const char *path, bool *ok) {
    std::string r;
    *ok = false;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return r;
    char buf[65536];
    DWORD n;
    while (ReadFile(f, buf, sizeof buf, &n, NULL) && n > 0) r.append(buf, n);
    CloseHandle(f);
    *ok = true;
    return r;
}

struct EnvChange {
    std::string name, value;
    bool unset;
};

// Reads "[--env NAME=VALUE]... [--unset NAME]... [--cwd DIR] EXE CMDLINE-FILE"; --cwd only
// when cwd is given.  Returns the index of the first step, or -1 after emitting the error.
static inline int parse_start_args(int argc, char **argv, std::vector<EnvChange> *env,
                                   const char **cwd, const char **exe, const char **cmdfile,
                                   emit_fn emit) {
    int i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
        if (!strcmp(argv[i], "--env") && i + 1 < argc) {
            std::string kv = argv[++i];
            size_t eq = kv.find('=');
            if (eq == std::string::npos || eq == 0) {
                emit("error", "step=args reason=bad-env");
                return -1;
            }
            env->push_back({kv.substr(0, eq), kv.substr(eq + 1), false});
        } else if (!strcmp(argv[i], "--unset") && i + 1 < argc) {
            env->push_back({argv[++i], "", true});
        } else if (cwd && !strcmp(argv[i], "--cwd") && i + 1 < argc) {
            *cwd = argv[++i];
        } else {
            emit("error", fmt("step=args reason=unknown-option:%s", argv[i]));
            return -1;
        }
    }
    if (argc - i < 2) {
        emit("error", "step=args reason=usage");
        return -1;
    }
    *exe = argv[i];
    *cmdfile = argv[i + 1];
    return i + 2;
}

// Checks the whole step list from argv[first] before anything starts: every step known, and
// a number after each step that takes one.  Emits the error and returns false otherwise.
static inline bool check_steps(int argc, char **argv, int first, step_test known,
                               step_test takes_number, emit_fn emit) {
    for (int j = first; j < argc; j++) {
        std::string s = argv[j];
        if (!known(s)) {
            emit("error", fmt("step=args reason=unknown-step:%s", s.c_str()));
            return false;
        }
        if (takes_number(s)) {
            if (j + 1 >= argc || !argv[j + 1][0] ||
                strspn(argv[j + 1], "0123456789") != strlen(argv[j + 1])) {
                emit("error", fmt("step=args reason=missing-number:%s", s.c_str()));
                return false;
            }
            j++;
        }
    }
    return true;
}

// The bytes of the command-line file, or false after emitting the error.
static inline bool read_cmdline(const char *cmdfile, std::string *cmdline, emit_fn emit) {
    bool ok;
    *cmdline = read_file(cmdfile, &ok);
    if (!ok) {
        emit("error", fmt("step=start reason=cannot-read-cmdline gle=%lu", GetLastError()));
        return false;
    }
    return true;
}

static inline void apply_env(const std::vector<EnvChange> &env) {
    for (const EnvChange &e : env)
        SetEnvironmentVariableA(e.name.c_str(), e.unset ? NULL : e.value.c_str());
}

// Starts CreateProcessA(exe, <cmdline>) suspended, puts it in *job and lets it run.
// just_before runs right before CreateProcessA (the caller's clock may start there, and may
// create the job); *job is read after it.  Emits the error and returns false on failure.
template <class F>
static inline bool start_in_job(const char *exe, const std::string &cmdline, const char *cwd,
                                HANDLE *job, PROCESS_INFORMATION *pi, F just_before,
                                emit_fn emit) {
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    std::vector<char> cl(cmdline.begin(), cmdline.end());
    cl.push_back(0);
    just_before();
    if (!CreateProcessA(exe, cl.data(), NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, cwd, &si, pi)) {
        emit("error", fmt("step=start reason=createprocess gle=%lu", GetLastError()));
        return false;
    }
    if (!*job || !AssignProcessToJobObject(*job, pi->hProcess)) {
        emit("error", fmt("step=start reason=job gle=%lu", GetLastError()));
        TerminateProcess(pi->hProcess, 1);
        return false;
    }
    ResumeThread(pi->hThread);
    return true;
}

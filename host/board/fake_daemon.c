/* The board's box_fake_daemon (the sandbox's needs bash and a compiler):
 *   box_fake_daemon NAME [ARG...]
 * starts a detached stand-in daemon whose process line reads "NAME ARG..."
 * and whose process name is NAME's base name, and returns once it runs.
 * Started under any other name, it is that daemon: it waits to be killed. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#define SELF "/box/lib/box_fake_daemon"
#define LINKS "/box/run/daemons"

static const char *base_of(const char *p) {
    const char *s = strrchr(p, '/');
    return s ? s + 1 : p;
}

int main(int argc, char **argv) {
    if (strcmp(base_of(argv[0]), "box_fake_daemon") != 0) {
        for (;;) pause();
    }
    if (argc < 2) {
        fprintf(stderr, "usage: box_fake_daemon NAME [ARG...]\n");
        return 2;
    }
    char link[256];
    if (snprintf(link, sizeof link, LINKS "/%s", base_of(argv[1])) >= (int)sizeof link) {
        fprintf(stderr, "box_fake_daemon: name too long\n");
        return 2;
    }
    mkdir("/box/run", 0755);
    mkdir(LINKS, 0755);
    if (symlink(SELF, link) != 0 && errno != EEXIST) {
        perror("box_fake_daemon: symlink");
        return 1;
    }
    /* The pipe closes at the daemon's exec: the caller returns only then. */
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        perror("box_fake_daemon: pipe");
        return 1;
    }
    pid_t pid = fork();
    if (pid < 0) {
        perror("box_fake_daemon: fork");
        return 1;
    }
    if (pid == 0) {
        /* A grandchild, so the daemon is an orphan of init like a real one. */
        setsid();
        if (fork() != 0) _exit(0);
        freopen("/dev/null", "r", stdin);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execv(link, argv + 1);
        _exit(127);
    }
    close(ready[1]);
    char c;
    while (read(ready[0], &c, 1) < 0 && errno == EINTR) {
    }
    int st;
    waitpid(pid, &st, 0);
    return 0;
}

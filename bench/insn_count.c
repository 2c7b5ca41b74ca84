/* A QEMU TCG plugin that counts the guest instructions a program runs (all
 * its threads) and appends "insns N" to the file given as out=FILE when the
 * program exits; with fp=1, its floating-point instructions only. Built by
 * bench/player_insns.sh against qemu-plugin.h of the installed QEMU's own
 * source package. */
#include <qemu-plugin.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

QEMU_PLUGIN_EXPORT int qemu_plugin_version = QEMU_PLUGIN_VERSION;

static uint64_t s_insns;
static char s_out[4096];

static void tb_exec(unsigned int vcpu, void* udata) {
    (void)vcpu;
    __atomic_fetch_add(&s_insns, (uint64_t)(uintptr_t)udata, __ATOMIC_RELAXED);
}

/* fp=1: only the floating-point instructions (MIPS32, big-endian words):
 * COP1, COP1X and the FPU loads and stores, the ones a CPU without FPU
 * traps on. */
static int s_fp_only;

static int is_fp(const uint8_t* b) {
    unsigned op = b[0] >> 2;
    return op == 0x11 || op == 0x13 || op == 0x31 || op == 0x35 || op == 0x39 || op == 0x3d;
}

static void tb_trans(qemu_plugin_id_t id, struct qemu_plugin_tb* tb) {
    (void)id;
    size_t n = qemu_plugin_tb_n_insns(tb);
    if (s_fp_only) {
        size_t fp = 0;
        for (size_t i = 0; i < n; i++) {
            struct qemu_plugin_insn* insn = qemu_plugin_tb_get_insn(tb, i);
            if (qemu_plugin_insn_size(insn) == 4 &&
                is_fp((const uint8_t*)qemu_plugin_insn_data(insn)))
                fp++;
        }
        n = fp;
        if (!n) return;
    }
    qemu_plugin_register_vcpu_tb_exec_cb(tb, tb_exec, QEMU_PLUGIN_CB_NO_REGS, (void*)(uintptr_t)n);
}

static void at_exit(qemu_plugin_id_t id, void* p) {
    (void)id;
    (void)p;
    FILE* f = fopen(s_out, "a");
    if (!f) return;
    fprintf(f, "insns %llu\n", (unsigned long long)__atomic_load_n(&s_insns, __ATOMIC_RELAXED));
    fclose(f);
}

QEMU_PLUGIN_EXPORT int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t* info, int argc,
                                           char** argv) {
    (void)info;
    for (int i = 0; i < argc; i++)
        if (strncmp(argv[i], "out=", 4) == 0)
            snprintf(s_out, sizeof s_out, "%s", argv[i] + 4);
        else if (strcmp(argv[i], "fp=1") == 0)
            s_fp_only = 1;
    if (!s_out[0]) {
        fprintf(stderr, "insn_count: give out=FILE\n");
        return -1;
    }
    qemu_plugin_register_vcpu_tb_trans_cb(id, tb_trans);
    qemu_plugin_register_atexit_cb(id, at_exit, NULL);
    return 0;
}

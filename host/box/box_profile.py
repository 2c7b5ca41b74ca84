# The box's profile (the file `profile` here) and its stand-in commands (the
# files of fakes/), read into one object for box_init.py; run as a program it
# lists them for the board's image build:
#   python3 box_profile.py board-standins   # "SOURCE BOX_PATH" per line
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PROFILE = os.path.join(HERE, "profile")
FAKES = os.path.join(HERE, "fakes")
# In fakes/ but no stand-in of a command: the shared part every stand-in
# sources, and the plain stand-in that --fake NAME puts under NAME.
HELPER = "standin.sh"
PLAIN = "fake"
ON_PATH = "/box/fakes"


class ProfileError(Exception):
    pass


class Profile:
    def __init__(self):
        self.applets = []
        self.folders = []
        self.at = {}          # stand-in name -> folder on the box
        self.pc_only = set()  # stand-ins the board leaves out
        self.standins = {}    # stand-in name -> its file here

    def box_path(self, name):
        return self.at.get(name, ON_PATH) + "/" + name


def _entry(p, kind, words, where):
    if kind == "applets":
        p.applets += words
    elif kind == "folders":
        p.folders += words
    elif kind == "at" and len(words) == 2:
        p.at[words[0]] = words[1].rstrip("/")
    elif kind == "pc-only":
        p.pc_only.update(words)
    elif kind == "daemon" and words:
        pass  # read by the stand-ins themselves (fakes/standin.sh)
    else:
        raise ProfileError("%s: cannot read '%s'" % (where, " ".join([kind] + words)))


def load(profile=PROFILE, fakes=FAKES):
    p = Profile()
    with open(profile) as f:
        for n, line in enumerate(f, 1):
            words = line.split("#", 1)[0].split()
            if words:
                _entry(p, words[0], words[1:], "%s:%d" % (os.path.basename(profile), n))
    for name in sorted(os.listdir(fakes)):
        path = os.path.join(fakes, name)
        if name not in (HELPER, PLAIN) and os.path.isfile(path):
            p.standins[name] = path
    missing = sorted((set(p.at) | p.pc_only) - set(p.standins))
    if missing:
        raise ProfileError("the profile names the stand-in %s, but fakes/ has no such file" % missing[0])
    outside = sorted(set(p.at.values()) - set(p.folders))
    if outside:
        raise ProfileError("the stand-ins' folder %s is not among the box's folders" % outside[0])
    return p


def main(argv):
    if argv[1:] != ["board-standins"]:
        sys.stderr.write("usage: box_profile.py board-standins\n")
        return 2
    try:
        p = load()
    except (OSError, ProfileError) as e:
        sys.stderr.write("box_profile: %s\n" % e)
        return 1
    for name in sorted(set(p.standins) - p.pc_only):
        print(p.standins[name], p.box_path(name))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

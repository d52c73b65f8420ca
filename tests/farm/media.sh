# Shared by the farm tests (sourced; needs ffmpeg):
#   sound_project IN OUT DIR   OUT: the description IN with a one-second
#                              440 Hz tone (DIR/tone.wav) as its first
#                              composition's top layer
#   media MOVIE                the movie's frame and sound checksums
sound_project() {
  ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=1:sample_rate=48000" -ac 2 "$3/tone.wav"
  python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
d.setdefault("footage", []).append({"name": "Tone", "file": sys.argv[2]})
d["comps"][0]["layers"].insert(0, {"source": "Tone"})
json.dump(d, open(sys.argv[3], "w"))' "$1" "$3/tone.wav" "$2"
}
media() { ffmpeg -v error -i "$1" -map 0:v -f framemd5 - | grep -v '^#'; ffmpeg -v error -i "$1" -map 0:a -f md5 -; }

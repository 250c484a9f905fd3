#!/bin/sh
# The test clips (each under 15 KB), made with the ffmpeg program. Every clip starts with
# half a second of black, so its poster is the first varied key frame (at 0.5 s).
set -e
cd "$(dirname "$0")"
src="-f lavfi -i color=black:s=96x64:r=10:d=0.5 -f lavfi -i testsrc=s=96x64:r=10:d=1"
snd="-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1.5"
cat="-filter_complex [0:v][1:v]concat=n=2:v=1:a=0[v] -map [v] -map 2:a"
key="-force_key_frames expr:gte(t,n_forced*0.5)"
q="-y -loglevel error -map_metadata -1 -fflags +bitexact"
ffmpeg $src $snd $cat $key -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 32k $q h264.mp4
ffmpeg $src $snd $cat $key -c:v libvpx-vp9 -b:v 100k -c:a libopus -b:a 24k $q vp9.webm
ffmpeg $src $snd $cat $key -c:v libx265 -x265-params log-level=error -pix_fmt yuv420p \
  -tag:v hvc1 -c:a aac -b:a 32k $q hevc.MOV
# Shot holding the phone upright: stored 96 x 64, shown 64 x 96.
cp h264.mp4 sideways.mp4
python3 - sideways.mp4 <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.find(b'tkhd')  # the first track is the video; version 0 header
matrix = at + 4 + 4 + 20 + 8 + 8
data[matrix:matrix + 36] = struct.pack('>9i', 0, 0x10000, 0, -0x10000, 0, 0, 0, 0, 0x40000000)
open(sys.argv[1], 'wb').write(data)
PY
# MPEG-4 Part 2 and PCM sound in AVI: browsers play neither.
ffmpeg $src -f lavfi -i sine=sample_rate=8000:duration=1.5 $cat $key -c:v mpeg4 -q:v 20 \
  -c:a pcm_u8 $q mpeg4.avi
# The first half of an MP4 whose index comes last: no index, no clip.
head -c $(($(stat -c %s h264.mp4) / 2)) h264.mp4 > damaged.mp4
# Sound alone; and a clip 16384 pixels wide, over the limit.
ffmpeg -f lavfi -i sine=sample_rate=8000:duration=0.5 -c:a aac -b:a 16k $q sound.mp4
ffmpeg -f lavfi -i color=s=16384x16:d=0.1:r=10 -c:v libvpx-vp9 $q wide.webm

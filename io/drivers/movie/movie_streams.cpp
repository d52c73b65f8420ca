// The movie module's choice of streams and how a stream is shown: the
// pictures among a file's streams, and the turn its display matrix asks for.
#include <cmath>

extern "C" {
#include <libavutil/display.h>
}

#include "movie.h"

namespace tv::pin {

// The quarter turns clockwise a stream's display matrix shows it with, as
// players turn it; 0 without one, or for a turn that is not a quarter turn.
int QuarterTurns(const AVStream& st) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 31, 102)
  const AVPacketSideData* side = av_packet_side_data_get(st.codecpar->coded_side_data,
                                                         st.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
  const uint8_t* matrix = side && side->size >= 9 * sizeof(int32_t) ? side->data : nullptr;
#else
  size_t size = 0;
  const uint8_t* matrix = av_stream_get_side_data(&st, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (size < 9 * sizeof(int32_t)) matrix = nullptr;
#endif
  if (!matrix) return 0;
  // The library gives the turn counterclockwise, from -180 to 180 degrees.
  const double clockwise = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
  if (!std::isfinite(clockwise)) return 0;
  const double quarters = clockwise / 90;
  const long q = std::lround(quarters);
  if (std::fabs(quarters - static_cast<double>(q)) > 1.0 / 90) return 0;
  return static_cast<int>(((q % 4) + 4) % 4);
}

// The stream of the movie's pictures: the library's best, unless that is a
// cover picture (a song's album art), which is not pictures to play; -1
// when there are none.
int PicturesStream(AVFormatContext& f) {
  const auto playable = [&f](int i) {
    const AVStream* s = f.streams[i];
    return s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC);
  };
  const int best = av_find_best_stream(&f, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (best >= 0 && playable(best)) return best;
  for (unsigned i = 0; i < f.nb_streams; ++i)
    if (playable(static_cast<int>(i))) return static_cast<int>(i);
  return -1;
}

}  // namespace tv::pin

#include "deinterlace/deinterlace_methods.h"

#include "app/language.h"
#include "script/source_opening.h"

namespace reelwork {

QString SmoothDeinterlaceTff(QChar order) { return order == '0' ? "false" : "true"; }

QVector<DeinterlaceMethod> DeinterlaceMethods(int tvRow, QChar order, int language) {
  const QString c(order);
  const auto text = [language](int row) { return MessageText(row, language); };
  const QString telecide = "Telecide(order=" + c;
  const QString toms = "TomsMoComp(" + c + ",5,1)";
  if (tvRow == PalRow)
    return {
        {text(13), {telecide + ",post=0)"}, text(15)},
        {text(14), {telecide + ",post=2)"}, text(16)},
        {"TomsMoComp", {toms}, text(17)},
        {"Telecide + TomsMoComp", {telecide + ",post=1)", toms}, text(18)},
        {"FieldDeinterlace", {"FieldDeinterlace()"}, text(19)},
    };
  return {
      {"Telecide + Decimate(5)", {telecide + ",post=2)", "Decimate(5)"}, text(20)},
      {"Telecide + TomsMoComp + Decimate(5)", {telecide + ",post=1)", toms, "Decimate(5)"}, text(21)},
      {"Telecide (test)", {telecide + ",post=2)"}, text(22)},
      {"Telecide + Decimate(6)", {telecide + ",post=2,vthresh=90)", "Decimate(6)"}, text(23)},
      {"Bob + Repal", {"Bob()", "Repal()"}, text(24)},
      {"SmoothDeinterlace + Repal",
       {"SmoothDeinterlace(tff=" + SmoothDeinterlaceTff(order) + ",doublerate=true,lacethresh=24)", "Repal()"},
       text(25)},
  };
}

int ChooseTvSystemRow(const QString &tvSystem, float frameRate) {
  if (tvSystem == "PAL")
    return PalRow;
  if (tvSystem == "NTSC")
    return NtscRow;
  const float distance = frameRate - 25.0f;
  return (distance <= 0.1f && distance >= -0.1f) ? PalRow : NtscRow;
}

QString Mpeg2SourceAfterOKey(const QString &current, int tvRow, int methodRow) {
  int idct = 0, cpu = 0;
  bool ipp = true;
  ParseMpeg2SourceParams(current, idct, cpu, ipp);
  if (tvRow == PalRow && methodRow == 0)
    cpu = 0;
  else if (cpu == 0)
    cpu = 4;
  return "idct=" + QString::number(idct) + ",cpu=" + QString::number(cpu) + ",iPP=true";
}

} // namespace reelwork

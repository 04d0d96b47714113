#include "stars/get_plate_stars.h"

#include <QString>

#include "platform/dialogs.h"
#include "shell/working_settings.h"
#include "stars/star_lines.h"

namespace stars {

void GetPlateStars(const std::string& file, double threshold, int starKind, double plateScale,
                   int lineKind, int sort1, int sort2) {
    starList = std::make_shared<StarList>();
    ExtractionRequest q;
    q.file = file;
    q.threshold = threshold;
    q.starKind = starKind;
    q.plateScale = plateScale;
    q.lineKind = lineKind;
    q.sortKey = sort1;
    q.sortDirection = sort2;
    q.catalog = shell::catalog;
    ExtractionFailure failure;
    if (!ExtractStarLines(q, *starList, failure))
        platform::dialogs().messageBox(QString("Error in Sub GetPlateStars\r\n%1 %2")
                                           .arg(failure.number)
                                           .arg(QString::fromStdString(failure.description)),
                                       "Vospen", platform::msg::OkOnly);
}

} // namespace stars

#pragma once

#include <QObject>
#include <QString>
#include <QTemporaryDir>

// The ID3v2 reader (tst_id3v2.cpp) and the renderer of the new tag (tst_id3v2_render.cpp).
class TestId3v2 : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void filesTaggedByTagLib_data();
    void filesTaggedByTagLib();
    void craftedTags_data();
    void craftedTags();
    void failures_data();
    void failures();
    void genreNames_data();
    void genreNames();
    void fieldTexts_data();
    void fieldTexts();

    void renderRoundTrip_data();
    void renderRoundTrip();
    void renderKeepsFrames_data();
    void renderKeepsFrames();
    void renderSize_data();
    void renderSize();
    void renderRefusals_data();
    void renderRefusals();
    void renderReadByMutagen();

private:
    QString m_path;
    QTemporaryDir m_dir;
};

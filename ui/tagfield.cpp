#include "tagfield.h"

#include "tagtext.h"

#include <QLineEdit>
#include <QValidator>

namespace
{

class TagFieldValidator : public QValidator
{
public:
    TagFieldValidator(int characters, QObject *parent)
        : QValidator(parent), m_characters(characters)
    {
    }

    State validate(QString &input, int &pos) const override
    {
        // The characters just put in end at the cursor: the excess goes from there.
        while (tagTextLength(input) > m_characters && pos > 0) {
            int start = pos - 1;
            if (start > 0 && input.at(start).isLowSurrogate() &&
                input.at(start - 1).isHighSurrogate())
                --start;
            input.remove(start, pos - start);
            pos = start;
        }
        return tagTextLength(input) > m_characters ? Invalid : Acceptable;
    }

private:
    int m_characters;
};

} // namespace

void limitTagField(QLineEdit *field, int characters)
{
    // The validator counts; maxLength would count UTF-16 units.
    field->setMaxLength(32767);
    field->setValidator(new TagFieldValidator(characters, field));
}

/**
 * Reports the system properties named by its arguments so that a launcher can tell which
 * JVM runs it: a fixed magic line, then one line per argument with that property's value
 * (an empty line when the property is not set). Nothing else is ever printed to standard
 * output.
 */
public class Verify {
    private static final String MAGIC = "1739021872";

    public static void main(String[] args) {
        StringBuilder out = new StringBuilder(MAGIC).append('\n');
        for (String name : args) {
            String value = null;
            try {
                value = System.getProperty(name);
            } catch (RuntimeException e) {
                // An empty or forbidden name reads as unset.
            }
            out.append(value == null ? "" : value).append('\n');
        }
        System.out.print(out);
        System.out.flush();
    }
}
